#!/usr/bin/env bash
# Many alignments in one run (--out-dir): mixed formats and gzip, one input
# failing; every output equal to a single run's; the summary table in both
# forms (JSON read back by Python, with the run's version and command line);
# the same bytes for every thread count;
# and SIGTERM in the middle of a batch leaving no temporary file.
#
# usage: batch_test.sh COLSIEVE REPO
set -u
bin=$1
repo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
mkdir in
cp "$repo/examples/globins4.fa" "$repo/examples/fn3.sto" "$repo/examples/3box.fa" in/
gzip -c "$repo/examples/Pkinase.fa" > in/Pkinase.fa.gz
"$bin" -i "$repo/examples/globins4.fa" -f clustal -t -1 > in/globins_c.aln 2> /dev/null
"$bin" -i "$repo/examples/fn3.fa" -f nexus -t -1 > in/fn3_n.nex 2> /dev/null
"$bin" -i "$repo/examples/3box.fa" -f phylip-relaxed -t -1 > in/box.phy 2> /dev/null
printf '>a\nACGT\n>b\nACG\n' > in/bad.fa
inputs=(in/3box.fa in/Pkinase.fa.gz in/bad.fa in/box.phy in/fn3.sto in/fn3_n.nex
        in/globins4.fa in/globins_c.aln)

for threads in 1 3; do
  "$bin" -j "$threads" -r -f phylip-relaxed --out-dir "out$threads" \
    -l "maps$threads-{stem}.tsv" --summary "sum$threads.tsv" "${inputs[@]}" \
    > "stdout$threads" 2> "stderr$threads"
  echo $? > "status$threads"
done
[ "$(cat status1)" = 1 ] || { echo "status $(cat status1), not 1"; fail=1; }
[ -s stdout1 ] && { echo "something went to standard output"; fail=1; }
for f in out1/* maps1-* sum1.tsv stderr1; do
  g=${f/1/3}
  cmp -s "$f" "$g" || { echo "$f differs with 3 threads"; fail=1; }
done
[ -e out1/bad.phy ] || [ -e maps1-bad.tsv ] && { echo "the failed input wrote"; fail=1; }
for input in "${inputs[@]}"; do
  stem=$(basename "${input%.gz}"); stem=${stem%.*}
  [ "$stem" = bad ] && continue
  "$bin" -i "$input" -r -f phylip-relaxed -l map.tsv > single.phy 2> single.err
  cmp -s single.phy "out1/$stem.phy" || { echo "$stem: not a single run's output"; fail=1; }
  cmp -s map.tsv "maps1-$stem.tsv" || { echo "$stem: not a single run's map"; fail=1; }
  grep -qxF "$input: $(cat single.err)" stderr1 || { echo "$stem: no summary line"; fail=1; }
done
grep -qx 'in/bad.fa: Error: sequence lengths differ!' stderr1 ||
  { echo "no prefixed error"; cat stderr1; fail=1; }
tail -n 1 stderr1 | grep -qx 'colsieve: 7 of 8 alignments trimmed, 1 failed (see above).' ||
  { echo "no count line"; tail -n 1 stderr1; fail=1; }
[ "$(wc -l < sum1.tsv)" = 9 ] || { echo "summary rows"; fail=1; }

# JSON, read back.
"$bin" -r --out-dir outj --summary sum.json in/globins4.fa in/bad.fa 2> /dev/null
/usr/bin/python3 - "$bin" << 'EOF' || fail=1
import json, subprocess, sys
run = json.load(open("sum.json"))
version = subprocess.run([sys.argv[1], "--version"], capture_output=True,
                         text=True).stdout.split("\n")[0]
assert (run["tool"], run["version"]) == ("colsieve", version.split()[1]), run
assert run["command_line"] == [sys.argv[1], "-r", "--out-dir", "outj",
    "--summary", "sum.json", "in/globins4.fa", "in/bad.fa"], run
rows = run["rows"]
assert [r["status"] for r in rows] == ["ok", "failed"], rows
assert rows[0]["sequences"] == 4 and rows[0]["kept_columns"] == 128, rows[0]
assert rows[0]["gc_percent"] is None and rows[1]["columns"] is None
assert rows[1]["error"] == "Error: sequence lengths differ!"
assert list(rows[0]) == ["input", "format", "sequences", "columns",
    "kept_columns", "kept_fraction", "target", "variable_before",
    "variable_after", "parsimony_informative_before",
    "parsimony_informative_after", "missing_percent_before",
    "missing_percent_after", "gc_percent", "status", "error"]
EOF

# SIGTERM in the middle of a batch: no temporary file anywhere.
mkdir many
awk 'BEGIN { srand(9); for (f = 0; f < 400; f++) { file = "many/g" f ".fa"
  for (i = 0; i < 40; i++) { print ">s" i > file; s = ""
    for (j = 0; j < 2000; j++) s = s substr("ACDEFGHIKLMNPQRSTVWY-", int(rand() * 21) + 1, 1)
    print s > file } close(file) } }'
# Copies make the batch long enough (2,000 inputs) to be stopped in the
# middle on a busy machine too.
for f in many/g*.fa; do
  for k in 1 2 3 4; do cp "$f" "${f%.fa}_$k.fa"; done
done
mkdir mapss
"$bin" -j 2 --out-dir outs -l "mapss/{stem}.tsv" many/*.fa 2> /dev/null &
pid=$!
# Once the first outputs are there, while others are being written (a
# sanitizer build can take seconds for the first).
# Temporary files (NAME.colsieve-PID-N) do not count: only committed outputs.
for _ in $(seq 6000); do
  [ -n "$(ls outs 2> /dev/null | grep -v '\.colsieve-')" ] && break
  sleep 0.01
done
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" = 143 ] || { echo "SIGTERM: status $status"; fail=1; }
written=$(ls outs | grep -vc '\.colsieve-')
[ "$written" -gt 0 ] && [ "$written" -lt 2000 ] ||
  { echo "SIGTERM came after $written of 2000 outputs"; fail=1; }
leftover=$(find outs mapss -name '*.colsieve-*' | head -n 3)
[ -z "$leftover" ] || { echo "temporary files left: $leftover"; fail=1; }
exit $fail
