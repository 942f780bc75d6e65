#!/usr/bin/env bash
# Threads that cannot start are never fatal: with thread stacks too large
# for the memory limit, the work runs on the threads that did start (or on
# the main thread, gzip included), one warning line names the cause, and
# the output is byte for byte that of a normal run.
#
# usage: thread_start.sh COLSIEVE
set -u
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
# 300 x 15,000 (4.5 MB): enough work for threads.
awk 'BEGIN { srand(3); for (i = 0; i < 300; i++) { print ">s" i
  s = ""; for (j = 0; j < 15000; j++) s = s substr("ACDEFGHIKLMNPQRSTVWY--", int(rand() * 22) + 1, 1)
  print s } }' > aln.fa
gzip -k aln.fa
"$bin" -j 3 -i aln.fa > want 2> /dev/null

check() {  # name, stack KiB, memory KiB, expected warning, arguments...
  local name=$1 stack=$2 mem=$3 warning=$4
  shift 4
  (ulimit -s "$stack"; ulimit -v "$mem"; "$bin" "$@" > "$name.out" 2> "$name.err")
  local status=$?
  if [ "$status" -ne 0 ] || ! cmp -s want "$name.out" ||
     ! grep -qxF "$warning" "$name.err"; then
    echo "$name: status $status"; cat "$name.err"; fail=1
  fi
}
# Room for one 2 GB stack: the third thread of three cannot start.
check two_of_three 2000000 2100000 \
  "Warning: could not start thread 3 of 3 (Resource temporarily unavailable); running on 2 threads" \
  -j 3 -i aln.fa
# Room for none: gzip is inflated on the main thread too.
check gzip_inline 2000000 1500000 \
  "Warning: could not start a thread for gzip (Resource temporarily unavailable); inflating on the main thread" \
  -j 2 -i aln.fa.gz
exit $fail
