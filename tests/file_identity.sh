#!/usr/bin/env bash
# No output of a run may be a file the run reads: every output (-o, -l, -w,
# --complement, --summary, -e, standard output, a batch's outputs) against
# every input (-i, --cds, a batch's inputs), by file identity, so that hard
# links and other names of an input are caught too. Each refusal comes
# before any work, names the file, and leaves every file as it was.
#
# usage: file_identity.sh COLSIEVE CDS_CASE_DIR
set -u
bin=$1
cds_case=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
unset POSIXLY_CORRECT
cp "$cds_case/prot.fa" "$cds_case/cds.fa" .
printf '>a\nACDEFGHIKL\n>b\nACDEFGHIKL\n' > a.fa
printf '>a\nMNPQRSTVWY\n>b\nMNPQRSTVWY\n' > b.fa
sums() { md5sum ./*.fa ./*/*.fa 2> /dev/null; }
sums > before

fail=0
# args..., then: expected status and standard error, with the files as
# they were and no output folder made.
expect() {  # status, error, then the arguments
  local status=$1 error=$2
  shift 2
  "$bin" "$@" > stdout.txt 2> err
  local got=$?
  if [ "$got" -ne "$status" ] || [ "$(cat err)" != "$error" ]; then
    echo "FAIL: colsieve $*: status $got (want $status), standard error:"
    cat err
    echo "wanted: $error"
    fail=1
  fi
  if ! sums | cmp -s - before; then
    echo "FAIL: colsieve $*: a file changed"
    fail=1
  fi
  if [ -s stdout.txt ] || [ -n "$(find . -name '*colsieve-*' -print -quit)" ]; then
    echo "FAIL: colsieve $*: wrote standard output or left a temporary file"
    fail=1
  fi
}

# Batch: the summary table against the inputs and the other outputs.
expect 1 "Error: the summary table (--summary) would write b.fa, which is the input b.fa" \
  -r --out-dir out --summary b.fa a.fa b.fa
expect 1 "Error: a.fa would write out2/a.fa, which is the summary table (--summary)" \
  -r --out-dir out2 --summary out2/a.fa a.fa b.fa
mkdir out3 && ln b.fa out3/a.fa && sums > before
expect 1 "Error: the summary table (--summary) would write ./out3/a.fa, which is the input b.fa" \
  --out-dir out3 --summary ./out3/a.fa a.fa b.fa
# A batch output that is a hard link of another input.
expect 1 "Error: a.fa would write out3/a.fa, which is the input b.fa" \
  --out-dir out3 a.fa b.fa
rm -r out3 && sums > before

# The coding sequences are an input: no output may be them, by any name.
ln cds.fa cds_link.fa && sums > before
for opt in -o -l -w --complement --summary; do
  what=$(case $opt in -o) echo output ;; -l) echo "column map" ;;
    -w) echo report ;; --complement) echo complement ;; *) echo summary ;; esac)
  expect 1 "Error: cannot write $what cds_link.fa: it is the input file" \
    -i prot.fa --cds cds.fa "$opt" cds_link.fa
done

# -e is refused before it is opened, whether the input comes before or
# after it, and whatever input it names.
expect 1 "Error: cannot write message file prot.fa: it is the input file" \
  -e prot.fa -t x -i prot.fa
expect 1 "Error: cannot write message file cds_link.fa: it is the input file" \
  -i prot.fa -e cds_link.fa --cds cds.fa
expect 1 "Error: cannot write message file b.fa: it is the input file" \
  --out-dir out -e b.fa a.fa b.fa
[ ! -e out ] || { echo "FAIL: the output folder was made"; fail=1; }
# ... and an input found in a folder.
mkdir in_dir && cp b.fa in_dir/ && sums > before
expect 1 "Error: cannot write message file in_dir/b.fa: it is the input file" \
  --out-dir out -e in_dir/b.fa in_dir
[ ! -e out ] || { echo "FAIL: the output folder was made"; fail=1; }

# Standard output appended to the input, copied or read in place.
for mode in never always; do
  cp a.fa app.fa
  "$bin" -i app.fa -r --streaming "$mode" >> app.fa 2> err
  status=$?
  if [ $status -ne 1 ] || ! cmp -s a.fa app.fa ||
     [ "$(cat err)" != "Error: cannot write the alignment to standard output: it is the input file" ]; then
    echo "FAIL: -i app.fa >> app.fa ($mode): status $status"; cat err; fail=1
  fi
done
# ... and standard input's file as the input.
rm app.fa
"$bin" -i - -r < a.fa >> a.fa 2> err
[ $? -eq 1 ] && sums | cmp -s - before ||
  { echo "FAIL: -i - < a.fa >> a.fa"; cat err; fail=1; }
# Another file on standard output is fine.
"$bin" -i a.fa -r >> other.out 2> err ||
  { echo "FAIL: -i a.fa >> other.out"; cat err; fail=1; }

[ $fail -eq 0 ] && echo "every output was checked against every input"
exit $fail
