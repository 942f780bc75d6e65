#!/usr/bin/env bash
# Times the join (--concat with --partitions and --taxa-table) against the
# same batch run without it: 1,000 generated gene alignments of 100 taxa
# (every other gene missing a tenth of them, 150 to 600 columns, DNA),
# trimmed in one run into relaxed PHYLIP, alone and with --summary. The two
# runs take turns; prints the median wall and CPU time of each and their
# ratio, for one thread and for every thread, and checks that the
# supermatrix has the same bytes for both thread counts.
#
# usage: bench/concat_bench.sh [DATA_DIR]
#   DATA_DIR  where the genes, the build and the outputs go (default:
#             $TMPDIR/colsieve-concat-bench, about 80 MB); genes are made
#             once and reused.
# environment: ROUNDS=N rounds of the two runs (default 11); GENES=N (1000)
# Needs GNU time (Debian package time) and python3.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
data=${1:-${TMPDIR:-/tmp}/colsieve-concat-bench}
rounds=${ROUNDS:-11}
ngenes=${GENES:-1000}
build=$root/build/bench
[ -x /usr/bin/time ] || { echo "concat_bench: needs GNU time (/usr/bin/time)" >&2; exit 1; }
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
# The two runs take turns, so that a machine shared with other work slows
# both alike; wall time and CPU time (user + system) of each, and the
# median of each over the rounds.
timed() {  # file, command...
  local f=$1
  shift
  /usr/bin/time -f '%e %U %S' -a -o "$f" "$@" > /dev/null 2>&1 ||
    { echo "concat_bench: $* failed" >&2; exit 1; }
}
for summary in no yes; do
  plain=("$bin" --max-columns 0 -f phylip-relaxed --out-dir "$out/t" "$genes")
  [ "$summary" = yes ] && plain+=(--summary "$out/sum.tsv")
  join=("${plain[@]}" --concat "$out/super.phy" --partitions "$out/parts.txt"
        --taxa-table "$out/taxa.tsv" --taxon-field '|:1')
  for threads in 1 0; do
    t=$data/$summary$threads
    rm -f "$t.plain" "$t.join"
    "${join[@]}" -j "$threads" > /dev/null 2>&1  # warm the page cache
    for ((r = 0; r < rounds; r++)); do
      timed "$t.plain" "${plain[@]}" -j "$threads"
      timed "$t.join" "${join[@]}" -j "$threads"
    done
    cp "$out/super.phy" "$data/super$threads.phy"
    python3 - "$t.plain" "$t.join" "$threads" "$summary" << 'PY'
import statistics, sys
def medians(f):
    rows = [list(map(float, l.split())) for l in open(f) if l[:1].isdigit()]
    return (statistics.median(r[0] for r in rows),
            statistics.median(r[1] + r[2] for r in rows))
(aw, ac), (bw, bc) = medians(sys.argv[1]), medians(sys.argv[2])
t = sys.argv[3] if sys.argv[3] != "0" else "all"
s = "with --summary" if sys.argv[4] == "yes" else "trimming only "
print(f"{s}, threads {t:>3}: wall {aw:.3f} s without --concat, {bw:.3f} s "
      f"with ({100 * (bw / aw - 1):+.1f} %); CPU {ac:.3f} s, {bc:.3f} s "
      f"({100 * (bc / ac - 1):+.1f} %)")
PY
  done
  cmp -s "$data/super1.phy" "$data/super0.phy" ||
    { echo "concat_bench: the supermatrix differs by thread count"; exit 1; }
done
head -n 1 "$data/super1.phy" | awk '{ printf "supermatrix: %s taxa, %s columns, ", $1, $2 }'
du -h "$data/super1.phy" | cut -f1
