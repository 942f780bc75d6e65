#!/usr/bin/env bash
# Runs colsieve with --threads 1, 2, 3 and 8 and compares everything it
# writes (standard output, standard error, status, column map, report) byte
# for byte: on the shipped examples, on a generated alignment large enough
# to be read in pieces, and on runs that end in an error, where the first
# fault in input order must be the one reported.
#
# usage: threads_test.sh COLSIEVE REPO
set -u
bin=$1
repo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0

# 301 sequences (more than 8 threads x 4 pieces) of 15,001 columns (not a
# multiple of the weight tiles), about 4.6 MB: read in pieces, each split
# between records, and in blocks that end in mid-record. $1 is a seed; the
# other arguments are record:length pairs that get another length.
generate() {
  awk -v seed="$1" -v odd="${*:2}" 'BEGIN {
    srand(seed); n = split(odd, pairs, " ");
    for (k = 1; k <= n; k++) { split(pairs[k], p, ":"); len[p[1]] = p[2] }
    for (i = 1; i <= 301; i++) {
      cols = (i in len) ? len[i] : 15001;
      print ">seq" i " sample " int(rand() * 1000);
      line = ""; gaps = rand() * 0.4;
      for (j = 0; j < cols; j++) {
        line = line (rand() < gaps ? "-" : substr("ACDEFGHIKLMNPQRSTVWYX", int(rand() * 21) + 1, 1));
        if (length(line) == 60) { print line; line = "" }
      }
      if (line != "") print line
    } }'
}

compare_runs() {  # label, then colsieve arguments
  local label=$1
  shift
  for n in 1 2 3 8; do
    rm -f map.tsv page.html
    "$bin" --threads "$n" "$@" -l map.tsv -w page.html > "out.$n" 2> "err.$n"
    echo $? > "status.$n"
    for f in map.tsv page.html; do
      if [ -e "$f" ]; then mv "$f" "$f.$n"; else echo none > "$f.$n"; fi
    done
  done
  for n in 2 3 8; do
    for f in out err status map.tsv page.html; do
      if ! cmp -s "$f.1" "$f.$n"; then
        echo "$label: $f differs between --threads 1 and --threads $n"
        diff "$f.1" "$f.$n" | head -n 5
        fail=1
      fi
    done
  done
}

for aln in "$repo"/examples/*.fa "$repo"/examples/*.sto; do
  compare_runs "$(basename "$aln")" -i "$aln" -u
done

generate 1 > big.fa
compare_runs "generated" -i big.fa
compare_runs "generated -r -p" -i big.fa -r -p
[ "$(cat status.1)" = 0 ] || { echo "generated: status $(cat status.1)"; fail=1; }
gzip -c big.fa > big.fa.gz
compare_runs "generated, gzip" -i big.fa.gz
cmp -s out.1 <("$bin" -i big.fa 2> /dev/null) ||
  { echo "generated, gzip: differs from the plain file"; fail=1; }

# Faults in several pieces: the first in input order wins. Lengths that
# differ early lose to a record that is too long later, as in one pass.
generate 2 40:14990 290:14000 > lengths.fa
compare_runs "two length faults" -i lengths.fa
grep -q "^Record 40 " err.1 || { echo "lengths: not record 40"; cat err.1; fail=1; }
generate 3 30:15000 200:15003 280:15004 > long.fa
compare_runs "too long" -i long.fa --max-columns 15002
grep -q "^Record 200 " err.1 || { echo "too long: not record 200"; cat err.1; fail=1; }
exit $fail
