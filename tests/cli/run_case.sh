#!/usr/bin/env bash
# Runs colsieve on one black-box case and compares what it did, byte for byte.
#
# usage: run_case.sh COLSIEVE CASE_DIR
#
# CASE_DIR holds:
#   args      the arguments, one a line (an empty line is an empty argument)
#   stdout    expected standard output (may be left out when a check
#             script, below, looks at it instead)
#   stderr    expected standard error (may also be left to a check script)
#   status    expected exit status
# and optionally:
#   stdin     fed to standard input (else /dev/null)
#   setup     shell commands run first in the scratch folder (to make large
#             or odd inputs that are not worth keeping in the repository)
#   stdout_to a path to send standard output to (e.g. /dev/full); standard
#             output is then not compared
#   ulimit_v  a limit on virtual memory (KiB) for the run; such cases are
#             skipped (status 77) under the sanitizers, which need far more
#   expect/   files the run must leave in the scratch folder, compared too
#   check     shell commands run last in the scratch folder, for outputs too
#             large to keep whole (standard output is in actual.stdout, the
#             binary in $COLSIEVE)
# COLSIEVE_TEST_THREADS, when set, puts "--threads N" before the arguments.
# The case runs in a scratch copy of CASE_DIR (links followed), with
# argv[0] set to "colsieve" so that getopt's diagnostics are stable.
set -u
bin=$1
case_dir=$2
name=$(basename "$case_dir")

if [ -f "$case_dir/ulimit_v" ] && [ -n "${COLSIEVE_SANITIZED:-}" ]; then
  echo "$name: memory limit cases do not run under the sanitizers"
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -RL "$case_dir"/. "$scratch"/
cd "$scratch" || exit 1
unset POSIXLY_CORRECT

if [ -f setup ]; then
  bash ./setup || { echo "$name: setup failed"; exit 1; }
fi

args=()
# The sanitized suites run every case with a fixed number of threads.
[ -n "${COLSIEVE_TEST_THREADS:-}" ] && args=(--threads "$COLSIEVE_TEST_THREADS")
if [ -f args ]; then
  while IFS= read -r line || [ -n "$line" ]; do args+=("$line"); done < args
fi
input=/dev/null
[ -f stdin ] && input=stdin
out_to=actual.stdout
[ -f stdout_to ] && out_to=$(cat stdout_to)

limit=unlimited
[ -f ulimit_v ] && limit=$(cat ulimit_v)
(ulimit -v "$limit" && exec -a colsieve "$bin" "${args[@]}") \
  < "$input" > "$out_to" 2> actual.stderr
echo $? > actual.status

fail=0
compare() {  # expected actual
  if ! cmp -s "$1" "$2"; then
    echo "$name: $2 differs from $1:"
    diff -u "$1" "$2" | head -n 40
    fail=1
  fi
}
if [ -f stdout ]; then
  compare stdout actual.stdout
elif [ ! -f check ] && [ ! -f stdout_to ]; then
  echo "$name: nothing checks standard output"
  fail=1
fi
if [ -f stderr ]; then
  compare stderr actual.stderr
elif [ ! -f check ]; then
  echo "$name: nothing checks standard error"
  fail=1
fi
compare status actual.status
if [ -d expect ]; then
  for f in expect/*; do
    compare "$f" "$(basename "$f")"
  done
fi
if [ -f check ] && ! COLSIEVE=$bin bash ./check; then
  echo "$name: check failed"
  fail=1
fi
exit $fail
