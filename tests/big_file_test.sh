#!/usr/bin/env bash
# A 4 GB alignment (100,000 x 40,000, generated) read in place: peak
# anonymous memory stays within 64 MB (file pages are the page cache's),
# and the output and messages are those of the same file copied into
# memory (--streaming never).
#
# usage: big_file_test.sh COLSIEVE GEN_ALIGNMENT REPO
set -u
bin=$1
gen=$2
repo=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0

"$gen" 100000 40000 protein 7 > G.fa || { echo "cannot generate G.fa"; exit 1; }
/usr/bin/python3 "$repo/bench/peak_anon.py" "$bin" -i G.fa 2> err.stream |
  md5sum > sum.stream
read -r seconds peak status < <(tail -n 1 err.stream)
sed -i '$d' err.stream
echo "read in place: $seconds s, peak RssAnon $peak kB, status $status"
[ "$status" = 0 ] || { echo "status $status"; cat err.stream; fail=1; }
[ "$peak" -le 64000 ] || { echo "peak RssAnon $peak kB, over 64 MB"; fail=1; }

"$bin" --streaming never -i G.fa 2> err.table | md5sum > sum.table
cmp -s sum.stream sum.table || { echo "output differs from the table's"; fail=1; }
cmp -s err.stream err.table ||
  { echo "messages differ:"; diff err.stream err.table | head; fail=1; }
exit $fail
