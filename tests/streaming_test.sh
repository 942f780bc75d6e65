#!/usr/bin/env bash
# A plain FASTA file read in place (--streaming always) and copied into
# memory (--streaming never) must give the same bytes everywhere: standard
# output, standard error, status and every side file, with one thread and
# with several; on the shipped examples, on generated files with uneven
# lines, CRLF, long headers and lower case, on faults (the first record in
# input order is named), with the codon options and in batch runs.
#
# usage: streaming_test.sh COLSIEVE REPO
set -u
bin=$1
repo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0

compare() {  # label, the status expected, then colsieve arguments
  local label=$1 want=$2 run
  shift 2
  for run in "never 1" "always 1" "always 3"; do
    local mode=${run% *} threads=${run#* } tag=${run/ /.}
    rm -rf side && mkdir side
    "$bin" --streaming "$mode" -j "$threads" "$@" > "out.$tag" 2> "err.$tag"
    echo $? >> "out.$tag"
    (cd side && find . -type f | sort | xargs -r cat) > "side.$tag"
  done
  [ "$(tail -n 1 out.never.1)" = "$want" ] ||
    { echo "$label: status $(tail -n 1 out.never.1)"; head -n 3 err.never.1; fail=1; }
  for tag in always.1 always.3; do
    for f in out err side; do
      if ! cmp -s "$f.never.1" "$f.$tag"; then
        echo "$label: $f differs, --streaming never -j 1 and ${tag/./ -j }"
        diff "$f.never.1" "$f.$tag" | head -n 5
        fail=1
      fi
    done
  done
}

sides=(-l side/map.tsv -w side/page.html --complement side/rest.fa
       --summary side/sum.tsv)
for aln in "$repo"/examples/*.fa; do
  # MAFFT's nucleotides, all lower case, are read as -u reads them.
  name=$(basename "$aln")
  compare "$name" 0 -i "$aln" "${sides[@]}"
  compare "$name -u -r" 0 -i "$aln" -u -r -f nexus
  compare "$name --ends-only" 0 -i "$aln" -u --ends-only -p
done
for aln in H5N1_HA_5.fa integrase_cds.mafft.fa; do
  compare "$aln --codon" 0 -i "$repo/examples/$aln" -u --codon --mask-stops all \
    "${sides[@]}"
done

# Lines of every width, CRLF in some records, a 100 kB header, lower case
# and '.' (insertions without -u), '*' and blanks inside the rows.
awk 'BEGIN { srand(5)
  for (i = 1; i <= 120; i++) {
    eol = i % 3 ? "\n" : "\r\n"
    head = ">r" i " d" i
    if (i == 7) for (k = 0; k < 12500; k++) head = head " header"
    printf "%s%s", head, eol
    line = ""; width = 1 + int(rand() * 90)
    for (j = 0; j < 3000; j++) {
      line = line substr("ACDEFGHIKLMNPQRSTVWY--acdy.", int(rand() * 27) + 1, 1)
      if (length(line) >= width) { printf "%s%s", line, eol; line = ""
                                   width = 1 + int(rand() * 90) }
    }
    if (line != "") printf "%s%s", line, eol
  } }' > ragged.fa
compare "ragged lines" 1 -i ragged.fa "${sides[@]}"
compare "ragged lines -u" 0 -i ragged.fa -u -r
compare "ragged lines, a record too long" 1 -i ragged.fa -u --max-columns 2999
grep -q "^Record 1 " err.never.1 ||
  { echo "too long: not record 1"; cat err.never.1; fail=1; }

# Faults in input order: lengths that differ (records 40 and 90) and a
# record too long (95): the first wins, in a file large enough for pieces.
awk 'BEGIN { for (i = 1; i <= 100; i++) { print ">s" i
  n = i == 40 ? 999 : i == 90 ? 998 : i == 95 ? 1200 : 1000
  s = ""; for (j = 0; j < n; j++) s = s substr("ACGT-", (i * j) % 5 + 1, 1)
  print s } }' > faults.fa
compare "lengths differ" 1 -i faults.fa
grep -q "^Record 40 " err.never.1 ||
  { echo "lengths: not record 40"; cat err.never.1; fail=1; }
compare "too long" 1 -i faults.fa --max-columns 1100
grep -q "^Record 95 " err.never.1 ||
  { echo "too long: not record 95"; cat err.never.1; fail=1; }

# Batch: each input on its own, read in place.
mkdir genes
cp "$repo"/examples/*.fa ragged.fa faults.fa genes/
compare "batch" 1 --out-dir side/out -r -f phylip-relaxed --summary side/s.tsv \
  genes/*.fa
exit $fail
