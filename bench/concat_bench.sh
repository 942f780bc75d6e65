#!/usr/bin/env bash
# Times the join (--concat with --partitions and --taxa-table) against the
# same batch run without it: 1,000 generated gene alignments of 100 taxa
# (each gene missing up to a tenth of them, 150 to 600 columns, DNA), trimmed
# in one run into relaxed PHYLIP. Prints hyperfine's median of each and
# their ratio, for one thread and for every thread; checks that the
# supermatrix has the same bytes for both thread counts.
#
# usage: bench/concat_bench.sh [DATA_DIR]
#   DATA_DIR  where the genes, the build and the outputs go (default:
#             $TMPDIR/colsieve-concat-bench, about 80 MB); genes are made
#             once and reused.
# environment: RUNS=N timed runs per command (default 5); GENES=N (1000)
# Needs hyperfine (Debian package hyperfine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
data=${1:-${TMPDIR:-/tmp}/colsieve-concat-bench}
runs=${RUNS:-5}
ngenes=${GENES:-1000}
build=$root/build/bench
command -v hyperfine > /dev/null || { echo "concat_bench: needs hyperfine" >&2; exit 1; }
mkdir -p "$data"
quiet() { "$@" > "$data/build.log" 2>&1 || { cat "$data/build.log"; exit 1; }; }
quiet cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCOLSIEVE_BUILD_TESTS=OFF
quiet cmake --build "$build" -j2 --target colsieve gen_alignment
bin=$build/colsieve

genes=$data/genes$ngenes
if [ ! -f "$genes/.done" ]; then
  rm -rf "$genes" && mkdir -p "$genes"
  for ((g = 1; g <= ngenes; g++)); do
    width=$((150 + (g * 7919) % 451))
    # Taxa named as in a study (Genus_species|gene id); a seeded tenth or
    # fewer of them left out of each gene.
    "$build/gen_alignment" 100 "$width" dna "$g" |
      awk -v g="$g" 'BEGIN { srand(g) } /^>/ { n = substr($0, 5); keep = rand() >= 0.1 * (g % 2)
        if (keep) print ">taxon_" n "|gene" g "_" n; next } keep { print }' > "$genes/g$(printf %04d "$g").fa"
  done
  touch "$genes/.done"
fi

out=$data/out
plain="$bin --max-columns 0 -f phylip-relaxed --out-dir $out/t --summary $out/sum.tsv $genes"
join="$plain --concat $out/super.phy --partitions $out/parts.txt --taxa-table $out/taxa.tsv --taxon-field |:1"
for threads in 1 0; do
  hyperfine -N -w 1 -r "$runs" --export-json "$data/h$threads.json" \
    "$plain -j $threads" "$join -j $threads" > /dev/null 2>&1 ||
    { echo "concat_bench: hyperfine failed" >&2; exit 1; }
  cp "$out/super.phy" "$data/super$threads.phy"
  python3 - "$data/h$threads.json" "$threads" << 'PY'
import json, statistics, sys
r = json.load(open(sys.argv[1]))["results"]
a, b = (statistics.median(x["times"]) for x in r)
t = sys.argv[2] if sys.argv[2] != "0" else "all"
print(f"threads {t:>3}: without --concat {a:.3f} s, with {b:.3f} s: +{100 * (b / a - 1):.1f} %")
PY
done
cmp -s "$data/super1.phy" "$data/super0.phy" || { echo "concat_bench: the supermatrix differs by thread count"; exit 1; }
head -n 1 "$data/super1.phy" | awk '{ print "supermatrix: " $1 " taxa, " $2 " columns, " }' | tr -d '\n'
du -h "$data/super1.phy" | cut -f1
