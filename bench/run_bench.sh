#!/usr/bin/env bash
# Benchmarks colsieve beside `wc -l` and `cat` on generated alignments and
# prints a table: median wall time, its ratio to `wc -l`, peak memory and its
# ratio to the file size. Also checks that colsieve's output has not changed
# (checksums in bench/checksums.txt).
#
# usage: bench/run_bench.sh [DATA_DIR]
#   DATA_DIR  where the generated files go (default: $TMPDIR/colsieve-bench,
#             about 470 MB); they are made once and reused.
# environment:
#   RUNS=N        timed runs per command (default 5)
#   SIZES="S M L" which sizes to run (S 100 x 1,000; M 1,000 x 10,000;
#                 L 10,000 x 45,000)
#   KIND=dna      generate nucleotide instead of protein alignments
# Needs hyperfine and GNU time (Debian packages hyperfine, time) and python3.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
data=${1:-${TMPDIR:-/tmp}/colsieve-bench}
runs=${RUNS:-5}
sizes=${SIZES:-S M L}
kind=${KIND:-protein}
build=$root/build/bench

for tool in hyperfine /usr/bin/time python3; do
  command -v "$tool" > /dev/null || { echo "run_bench: needs $tool" >&2; exit 1; }
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCOLSIEVE_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target colsieve gen_alignment > /dev/null
bin=$build/colsieve

mkdir -p "$data"
declare -A dims=([S]="100 1000" [M]="1000 10000" [L]="10000 45000")

status=0
for size in $sizes; do
  file=$data/$size-$kind.fa
  [ -s "$file" ] || "$build/gen_alignment" ${dims[$size]} "$kind" 1 > "$file"

  # Output must stay byte for byte what it was.
  for opts in "" "-r -p"; do
    key="$size-$kind ${opts:-default}"
    sum=$("$bin" -i "$file" $opts 2> /dev/null | sha256sum | cut -c1-16)
    want=$(grep -F "$key:" "$root/bench/checksums.txt" 2> /dev/null |
           awk '{print $NF}' || true)
    if [ -z "$want" ]; then
      echo "checksum $key: $sum (not recorded)"
    elif [ "$sum" = "$want" ]; then
      echo "checksum $key: $sum ok"
    else
      echo "checksum $key: $sum CHANGED, expected $want"
      status=1
    fi
  done

  hyperfine -N --warmup 1 --runs "$runs" --style none \
    --export-json "$data/$size-$kind.json" \
    -n "wc -l" "wc -l $file" \
    -n "cat > /dev/null" "cat $file" \
    -n "colsieve" "$bin -i $file" \
    -n "colsieve -r -p" "$bin -i $file -r -p" > /dev/null

  # Peak memory: the largest of three runs.
  for cmd in "wc -l" "cat" "colsieve" "colsieve -r -p"; do
    case $cmd in
      "wc -l") argv=(wc -l "$file") ;;
      cat) argv=(cat "$file") ;;
      colsieve) argv=("$bin" -i "$file") ;;
      *) argv=("$bin" -i "$file" -r -p) ;;
    esac
    peak=0
    for _ in 1 2 3; do
      kb=$( /usr/bin/time -f %M "${argv[@]}" 2>&1 > /dev/null | tail -n 1)
      [ "$kb" -gt "$peak" ] && peak=$kb
    done
    echo "$cmd $peak" >> "$data/$size-$kind.rss.$$"
  done
  mv "$data/$size-$kind.rss.$$" "$data/$size-$kind.rss"
done

python3 - "$data" "$kind" $sizes << 'EOF'
import json, os, statistics, sys
data, kind, sizes = sys.argv[1], sys.argv[2], sys.argv[3:]
print()
print(f"{'size':5} {'command':16} {'median':>10} {'x wc -l':>8} {'peak RSS':>10} {'x file':>7}")
for size in sizes:
    base = os.path.join(data, f"{size}-{kind}")
    size_mb = os.path.getsize(base + ".fa") / 1e6
    rss = {}
    for line in open(base + ".rss"):
        name, kb = line.rsplit(" ", 1)
        rss[name] = int(kb) / 1000
    results = json.load(open(base + ".json"))["results"]
    med = {r["command"]: statistics.median(r["times"]) for r in results}
    wc = med["wc -l"]
    for r in results:
        name = r["command"]
        key = "cat" if name.startswith("cat") else name
        t = med[name]
        shown = f"{t * 1000:.1f} ms" if t < 1 else f"{t:.3f} s"
        print(f"{size:5} {name:16} {shown:>10} {t / wc:8.1f} "
              f"{rss[key]:8.1f} MB {rss[key] / size_mb:7.2f}")
    print(f"{'':5} file: {size_mb:.1f} MB")
EOF
exit $status
