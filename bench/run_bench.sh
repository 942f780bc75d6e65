#!/usr/bin/env bash
# Benchmarks colsieve on generated alignments beside `wc -l`, `cat`, gzip and
# a baseline build of an earlier colsieve, and prints one table: median wall
# time (hyperfine), its ratio to the baseline, peak memory against the file
# size, and minor page faults; then the time of each phase. Also checks that
# colsieve's output has not changed (bench/checksums.txt).
#
# usage: bench/run_bench.sh [DATA_DIR]
#   DATA_DIR  where the generated files and builds go (default:
#             $TMPDIR/colsieve-bench, about 2 GB, 6 GB with G); files are made once and
#             reused.
# environment:
#   RUNS=N             timed runs per command (default 5)
#   SIZES="M L W B A G" which sizes to run: S 100 x 1,000; M 1,000 x 10,000;
#                      L 10,000 x 45,000; W 1,000 x 1,000,000 (wide, read
#                      with --max-columns 0); B a batch of 1,000 gene
#                      alignments of 20-300 x 200-3,000 (seeded, about
#                      240 MB), trimmed in one run (--out-dir) beside one
#                      run per file through GNU parallel and xargs; A the
#                      alternating rows (L, L --threads 1 and M taking
#                      turns with the baseline, ALT_ROUNDS rounds, default
#                      7; start-up on examples/globins4.fa against
#                      /bin/true); G with A, the 4 GB row (100,000 x
#                      40,000 beside cat, peak RssAnon; 4 GB more disk)
#   BASELINE_REF=ref   the git commit to compare with (default 0a762c3,
#                      colsieve 1.0.0); "none" skips it
# Needs hyperfine, GNU time and gzip (Debian packages hyperfine, time, gzip),
# python3 and git. Where Debian's Python has pybind11, also times
# trim(read(L)) through the Python module against the tool.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
data=${1:-${TMPDIR:-/tmp}/colsieve-bench}
runs=${RUNS:-5}
sizes=${SIZES:-M L W B A G}
baseline_ref=${BASELINE_REF:-0a762c3}
build=$root/build/bench

for tool in hyperfine /usr/bin/time python3 gzip git parallel xargs; do
  command -v "$tool" > /dev/null || { echo "run_bench: needs $tool" >&2; exit 1; }
done
mkdir -p "$data"

quiet() { "$@" > "$data/build.log" 2>&1 || { cat "$data/build.log"; exit 1; }; }
python_module=OFF
/usr/bin/python3 -c 'import pybind11' 2> /dev/null && python_module=ON
quiet cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCOLSIEVE_BUILD_TESTS=OFF \
  -DCOLSIEVE_PYTHON=$python_module
quiet cmake --build "$build" -j2 --target colsieve gen_alignment phase_times
if [ "$python_module" = ON ]; then
  quiet cmake --build "$build" -j2 --target _colsieve
  export PYTHONPATH=$build/python
fi
bin=$build/colsieve

base=""
if [ "$baseline_ref" != none ]; then
  src=$data/baseline-$baseline_ref
  if [ ! -x "$src/build/colsieve" ]; then
    rm -rf "$src" && mkdir -p "$src"
    git -C "$root" archive "$baseline_ref" | tar -x -C "$src"
    quiet cmake -S "$src" -B "$src/build" -DCMAKE_BUILD_TYPE=Release -DCOLSIEVE_BUILD_TESTS=OFF
    quiet cmake --build "$src/build" -j2 --target colsieve phase_times
  fi
  base=$src/build/colsieve
fi

declare -A dims=([S]="100 1000" [M]="1000 10000" [L]="10000 45000" [W]="1000 1000000")
status=0
: > "$data/rss.txt"
: > "$data/phases.txt"

# Peak RSS (KB) and minor page faults of one command, the larger RSS of two
# runs.
measure() {  # label, command...
  local label=$1 out kb faults best=0 f=0
  shift
  for _ in 1 2; do
    out=$(/usr/bin/time -f "%M %R" "$@" 2>&1 > /dev/null | tail -n 1)
    kb=${out% *}
    faults=${out#* }
    [ "$kb" -gt "$best" ] && best=$kb && f=$faults
  done
  echo "$label	$best	$f" >> "$data/rss.txt"
}

# The batch: many gene alignments, one run against one process a file.
batch() {
  local genes=$data/genes
  if [ ! -s "$genes/g1000.fa" ]; then
    mkdir -p "$genes"
    RANDOM=24
    for i in $(seq 1 1000); do
      "$build/gen_alignment" $((20 + RANDOM % 281)) $((200 + RANDOM % 2801)) \
        protein "$i" > "$genes/g$i.fa"
    done
  fi
  local out=$data/batch-out
  rm -rf "$out" && mkdir -p "$out/one" "$out/parallel" "$out/xargs"
  hyperfine -N --warmup 1 --runs "$runs" --style none --export-json "$data/B.json" \
    -n "colsieve --out-dir" "$bin -r --out-dir $out/one $(printf '%s ' "$genes"/g*.fa)" \
    -n "parallel -j 2, a file each" \
    "parallel -j 2 $bin -r -i {} -o $out/parallel/{/} ::: $(printf '%s ' "$genes"/g*.fa)" \
    -n "xargs -P 2, a file each" \
    "sh -c 'printf \"%s\\n\" $genes/g*.fa | xargs -P 2 -I{} $bin -r -i {} -o {}.out'" \
    > /dev/null
}

for size in $sizes; do
  [ "$size" = A ] || [ "$size" = G ] && continue  # after the table
  if [ "$size" = B ]; then
    batch
    continue
  fi
  file=$data/$size-protein.fa
  [ -s "$file" ] || "$build/gen_alignment" ${dims[$size]} protein 1 > "$file"
  wide=()
  [ "$size" = W ] && wide=(--max-columns 0)

  # Output must stay byte for byte what it was.
  for opts in "" "-r -p"; do
    key="$size-protein ${opts:-default}"
    sum=$("$bin" -i "$file" "${wide[@]}" $opts 2> /dev/null | sha256sum | cut -c1-16)
    want=$(grep -F "$key:" "$root/bench/checksums.txt" 2> /dev/null | awk '{print $NF}' || true)
    if [ -z "$want" ]; then
      echo "checksum $key: $sum (not recorded)"
    elif [ "$sum" = "$want" ]; then
      echo "checksum $key: $sum ok"
    else
      echo "checksum $key: $sum CHANGED, expected $want"
      status=1
    fi
  done

  cmds=(-n "wc -l" "wc -l $file" -n "cat > /dev/null" "cat $file")
  [ -n "$base" ] && [ "$size" != W ] && cmds+=(-n "colsieve $baseline_ref" "$base -i $file")
  cmds+=(-n "colsieve" "$bin -i $file ${wide[*]}"
         -n "colsieve --threads 1" "$bin -i $file --threads 1 ${wide[*]}"
         -n "colsieve -r -p" "$bin -i $file -r -p ${wide[*]}")
  if [ "$size" = L ]; then
    [ -s "$file.gz" ] || gzip -c "$file" > "$file.gz"
    cmds+=(-n "gzip -dc .gz" "gzip -dc $file.gz" -n "colsieve .gz" "$bin -i $file.gz")
    [ "$python_module" = ON ] && cmds+=(-n "python trim(read(L))" \
      "/usr/bin/python3 -c 'import colsieve; colsieve.trim(colsieve.read(\"$file\"))'" \
      -n "python, written as colsieve" \
      "/usr/bin/python3 -c 'import colsieve; colsieve.trim(colsieve.read(\"$file\")).write(\"/dev/null\", format=\"default\", remove=False)'")
  fi
  hyperfine -N --warmup 1 --runs "$runs" --style none \
    --export-json "$data/$size.json" "${cmds[@]}" > /dev/null

  [ -n "$base" ] && [ "$size" != W ] && measure "$size colsieve $baseline_ref" "$base" -i "$file"
  measure "$size colsieve" "$bin" -i "$file" "${wide[@]}"
  measure "$size colsieve --threads 1" "$bin" -i "$file" --threads 1 "${wide[@]}"

  if [ "$size" = L ]; then
    [ -n "$base" ] && echo "L colsieve $baseline_ref	$("$src/build/phase_times" "$file" | tr '\n' ' ')" >> "$data/phases.txt"
    for n in 0 1; do
      echo "L colsieve --threads $n	$("$build/phase_times" "$file" -j $n | tr '\n' ' ')" >> "$data/phases.txt"
    done
  fi
done

thp=$(cat /sys/kernel/mm/transparent_hugepage/enabled 2> /dev/null || echo unknown)
python3 - "$data" "$baseline_ref" "$thp" $sizes << 'EOF'
import json, os, statistics, sys
data, ref, thp, sizes = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
rss = {}
for line in open(os.path.join(data, "rss.txt")):
    label, kb, faults = line.rstrip("\n").split("\t")
    rss[label] = (int(kb) / 1000, int(faults))
cells = {"S": 100 * 1000, "M": 1000 * 10000, "L": 10000 * 45000, "W": 1000 * 1000000}
print(f"\ntransparent huge pages: {thp}; CPUs: {os.cpu_count()}")
print(f"{'size':4} {'command':24} {'median':>9} {'x base':>7} {'peak RSS':>10} "
      f"{'x file':>7} {'minor faults':>12}")
med_all = {}
for size in sizes:
    if size in ("A", "G", "B"):
        continue
    mb = os.path.getsize(os.path.join(data, f"{size}-protein.fa")) / 1e6
    med = {r["command"]: statistics.median(r["times"])
           for r in json.load(open(os.path.join(data, f"{size}.json")))["results"]}
    med_all[size] = med
    base = med.get(f"colsieve {ref}")
    for name, t in med.items():
        shown = f"{t * 1000:.1f} ms" if t < 1 else f"{t:.3f} s"
        ratio = f"{t / base:7.2f}" if base and name.startswith("colsieve") else " " * 7
        r = rss.get(f"{size} {name}")
        mem = f"{r[0]:7.1f} MB {r[0] / mb:7.2f} {r[1]:12,}" if r else ""
        print(f"{size:4} {name:24} {shown:>9} {ratio} {mem}")
    print(f"{'':4} file: {mb:.1f} MB, {cells[size]:,} residues")

print("\ntargets")
def target(what, value, limit):
    print(f"  {what:58} {value:6.2f} (at most {limit}) {'ok' if value <= limit else 'MISSED'}")
if "L" in med_all:
    m = med_all["L"]
    base = m.get(f"colsieve {ref}")
    if base:
        target("L, default threads / baseline", m["colsieve"] / base, 0.45)
        target("L, --threads 1 / baseline", m["colsieve --threads 1"] / base, 0.75)
    kb, faults = rss["L colsieve"]
    target("L, peak RSS / file", kb / (os.path.getsize(os.path.join(data, "L-protein.fa")) / 1e6), 1.05)
    print(f"  {'L, minor page faults':58} {faults:6,} (at most 5,000 with THP madvise or always)")
    gz = max(m["gzip -dc .gz"], m["colsieve"])
    target("L.fa.gz / max(gzip -dc, plain file run)", m["colsieve .gz"] / gz, 1.15)
    if "python trim(read(L))" in m:
        target("L, Python trim(read(L)) / colsieve", m["python trim(read(L))"] / m["colsieve"], 1.1)
if "M" in med_all and f"colsieve {ref}" in med_all["M"]:
    target("M, default threads / baseline", med_all["M"]["colsieve"] / med_all["M"][f"colsieve {ref}"], 0.6)
if "W" in med_all:
    kb, _ = rss["W colsieve"]
    target("W, peak RSS / file", kb / (os.path.getsize(os.path.join(data, "W-protein.fa")) / 1e6), 1.1)
    if "L" in med_all:
        per = lambda s: med_all[s]["colsieve"] / cells[s]
        target("W, time per residue / L's", per("W") / per("L"), 1.5)

if "B" in sizes:
    med = {r["command"]: statistics.median(r["times"])
           for r in json.load(open(os.path.join(data, "B.json")))["results"]}
    print("\nbatch of 1,000 gene alignments")
    for name, t in med.items():
        print(f"  {name:30} {t:7.3f} s")
    one = med["colsieve --out-dir"]
    target("batch / parallel -j 2", one / med["parallel -j 2, a file each"], 0.10)
    target("batch / xargs -P 2", one / med["xargs -P 2, a file each"], 0.3)

phases = open(os.path.join(data, "phases.txt")).read().strip()
if phases:
    print("\nphases on L (phase_times; --threads 0 is one per CPU)")
    for line in phases.splitlines():
        label, rest = line.split("\t")
        print(f"  {label:24} {rest}")
EOF

# As users run it: the commands taking turns, and the 4 GB row.
if [[ " $sizes " == *" A "* ]]; then
  for size in L M; do
    file=$data/$size-protein.fa
    [ -s "$file" ] || "$build/gen_alignment" ${dims[$size]} protein 1 > "$file"
  done
  big=()
  if [[ " $sizes " == *" G "* ]]; then
    big=("$data/G-protein.fa")
    [ -s "${big[0]}" ] || "$build/gen_alignment" 100000 40000 protein 7 > "${big[0]}"
  fi
  python3 "$root/bench/alternate.py" "$bin" "$base" "$data/L-protein.fa" \
    "$data/M-protein.fa" "$root/examples/globins4.fa" "${ALT_ROUNDS:-7}" "${big[@]}"
fi
exit $status
