#!/usr/bin/env bash
# Runs the Snakemake workflow on the shipped examples (FASTA and Stockholm,
# one stem in both) in groups of three, and checks that each output equals a
# direct colsieve run, that each group's log holds its inputs' summary lines
# and that the merged summary table is the one a single batch run over every
# example writes; then, one alignment a job, that a gzip-compressed
# alignment is trimmed and a broken one fails its job without leaving
# output; that a format chosen in args names the outputs with its
# extension; and that a name with braces is refused, named, before the run.
#
# usage: workflow_test.sh COLSIEVE REPO
# Exits 77 (skipped) when snakemake is missing, unless COLSIEVE_REQUIRE_ALL
# is set, as in CI.
set -u
bin=$1
repo=$2
. "$(dirname "$0")/require_tool.sh"
require_tool snakemake
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

# -u: one example is MAFFT's lower-case output.
snakemake -s "$repo/workflow/Snakefile" --cores 2 --directory "$work" --quiet \
  --config in="$repo/examples" out="$work/out" colsieve="$bin" args="-r -u" \
  group=3 > "$work/sm.log" 2>&1 ||
  { echo "snakemake failed:"; cat "$work/sm.log"; exit 1; }
inputs=()
for aln in $(printf '%s\n' "$repo"/examples/*.fa "$repo"/examples/*.sto | LC_ALL=C sort); do
  name=$(basename "$aln")
  inputs+=("$aln")
  "$bin" -i "$aln" -r -u > "$work/direct.fa" 2> "$work/direct.log"
  cmp -s "$work/direct.fa" "$work/out/$name" ||
    { echo "$name: workflow output differs from a direct run"; fail=1; }
  grep -qxF "$aln: $(cat "$work/direct.log")" "$work"/out/logs/group-*.log ||
    { echo "$name: no group log has its summary line"; fail=1; }
done
[ ${#inputs[@]} -ge 6 ] || { echo "expected at least 6 examples, found ${#inputs[@]}"; fail=1; }
[ -e "$work/out/logs/group-$(((${#inputs[@]} + 2) / 3)).log" ] ||
  { echo "not $(((${#inputs[@]} + 2) / 3)) groups:"; ls "$work/out/logs"; fail=1; }
"$bin" -r -u --out-dir "$work/direct" --out-name '{name}' \
  --summary "$work/direct.tsv" "${inputs[@]}" 2> /dev/null
cmp -s "$work/direct.tsv" "$work/out/summary.tsv" ||
  { echo "summary.tsv is not one batch run's table:"; diff "$work/direct.tsv" "$work/out/summary.tsv"; fail=1; }
[ ! -e "$work/out/README.md" ] || { echo "README.md was taken for an alignment"; fail=1; }
rm "$work/out/fn3.sto"
snakemake -s "$repo/workflow/Snakefile" --cores 2 --directory "$work" \
  --config in="$repo/examples" out="$work/out" colsieve="$bin" args="-r -u" \
  group=3 > "$work/sm.log" 2>&1
[ -e "$work/out/fn3.sto" ] && [ "$(grep -c '^rule trim' "$work/sm.log")" = 1 ] ||
  { echo "a lost output was not made again by its group alone:"; cat "$work/sm.log"; fail=1; }

# A broken alignment: its job fails, its output is gone, its log says why;
# a gzip-compressed one is trimmed into its name without .gz.
mkdir -p "$work/bad"
cp "$repo/examples/globins4.fa" "$work/bad/good.fa"
gzip -c "$repo/examples/fn3.sto" > "$work/bad/packed.sto.gz"
printf '>a\nACDEF\n>b\nACD\n' > "$work/bad/broken.fa"
if snakemake -s "$repo/workflow/Snakefile" --cores 1 --keep-going --quiet \
     --directory "$work" --config in="$work/bad" out="$work/badout" \
     colsieve="$bin" group=1 > "$work/sm2.log" 2>&1; then
  echo "snakemake reported success over a broken alignment"; fail=1
fi
[ -s "$work/badout/good.fa" ] || { echo "good.fa was not trimmed"; fail=1; }
"$bin" -i "$repo/examples/fn3.sto" -r 2> /dev/null | cmp -s - "$work/badout/packed.sto" ||
  { echo "packed.sto.gz was not trimmed into packed.sto"; fail=1; }
[ ! -e "$work/badout/broken.fa" ] || { echo "broken.fa left an output"; fail=1; }
grep -qxF "$work/bad/broken.fa: Error: sequence lengths differ!" "$work"/badout/logs/group-*.log ||
  { echo "no group log has broken.fa's error"; fail=1; }
[ $fail -eq 0 ] || cat "$work/sm2.log"

# A format chosen in args gives the outputs its extension.
mkdir -p "$work/fmt"
cp "$work/bad/good.fa" "$work/bad/packed.sto.gz" "$work/fmt/"
snakemake -s "$repo/workflow/Snakefile" --cores 1 --quiet --directory "$work" \
  --config in="$work/fmt" out="$work/fmtout" colsieve="$bin" \
  args="-r -f phylip-relaxed" > "$work/sm3.log" 2>&1 ||
  { echo "snakemake failed with -f phylip-relaxed:"; cat "$work/sm3.log"; fail=1; }
for pair in good.fa:good.phy packed.sto.gz:packed.phy; do
  "$bin" -i "$work/fmt/${pair%%:*}" -r -f phylip-relaxed 2> /dev/null |
    cmp -s - "$work/fmtout/${pair##*:}" ||
    { echo "${pair%%:*} was not trimmed into ${pair##*:}:"; ls "$work/fmtout"; fail=1; }
done

# Braces in a name are refused before the run, naming the file.
mkdir -p "$work/braces"
cp "$repo/examples/globins4.fa" "$work/braces/a{x}.fa"
if snakemake -s "$repo/workflow/Snakefile" --cores 1 --quiet --directory "$work" \
     --config in="$work/braces" out="$work/bracesout" colsieve="$bin" \
     > "$work/sm4.log" 2>&1; then
  echo "snakemake reported success over a{x}.fa"; fail=1
fi
grep -qF "$work/braces/a{x}.fa" "$work/sm4.log" && [ ! -e "$work/bracesout" ] ||
  { echo "a{x}.fa was not refused by name before the run:"; cat "$work/sm4.log"; fail=1; }
exit $fail
