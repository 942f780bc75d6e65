#!/usr/bin/env bash
# Line coverage of src/ by the fuzz targets: builds them for llvm-cov (no
# sanitizers), replays each target's seeds, the inputs kept in
# fuzz/corpus/TARGET and those a fuzz run found (run_fuzz.sh with
# FUZZ_KEEP=FOUND), and prints, for each target and for all together, the
# lines covered in each module of src/.
#
# usage: fuzz/coverage.sh BUILD_DIR [FOUND [TARGET...]]
# Needs clang++ and llvm-profdata / llvm-cov (Debian: llvm-14, or the
# unversioned llvm package).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
found=${2:-}
[ -n "$found" ] && found=$(cd "$found" && pwd)
shift $(($# < 2 ? $# : 2))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reader run write options)
. "$root/fuzz/corpus.sh"
tool() {  # the first of llvm-X-14, llvm-X that exists
  for t in "$1-14" "$1"; do
    command -v "$t" > /dev/null && { echo "$t"; return; }
  done
  echo "$1 is not installed (Debian: llvm-14)" >&2
  exit 1
}
profdata=$(tool llvm-profdata)
cov=$(tool llvm-cov)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DCOLSIEVE_FUZZ=ON -DCOLSIEVE_FUZZ_COVERAGE=ON -DCOLSIEVE_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" > /dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
for target in "${targets[@]}"; do
  seed_corpus "$target" "$work/seeds_$target"
  dirs=("$work/seeds_$target")
  [ -d "$root/fuzz/corpus/$target" ] && dirs+=("$root/fuzz/corpus/$target")
  [ -n "$found" ] && [ -d "$found/$target" ] && dirs+=("$found/$target")
  inputs=$(cat <(for d in "${dirs[@]}"; do ls "$d"; done) | wc -l)
  # Every input once, none of them merged away or mutated.
  LLVM_PROFILE_FILE="$work/$target.profraw" "$build/fuzz_$target" -runs=0 \
    -rss_limit_mb=2048 "${dirs[@]}" > "$work/$target.log" 2>&1 || {
    echo "fuzz_$target failed on its corpus:"; tail -n 20 "$work/$target.log"; exit 1; }
  "$profdata" merge -sparse "$work/$target.profraw" -o "$work/$target.profdata"
  "$cov" export -format=lcov -instr-profile="$work/$target.profdata" \
    "$build/fuzz_$target" "$root/src" > "$work/$target.lcov"
  echo "$target $inputs" >> "$work/inputs"
done
python3 - "$root" "$work" "${targets[@]}" << 'PY'
import os, sys
root, work, targets = sys.argv[1], sys.argv[2], sys.argv[3:]
inputs = dict(line.split() for line in open(os.path.join(work, "inputs")))

def lines(name):
    # The lines of src/ the target's binary holds, and those it ran.
    held, ran, path = {}, {}, None
    for line in open(os.path.join(work, name + ".lcov")):
        if line.startswith("SF:"):
            path = os.path.relpath(line[3:].strip(), root)
        elif line.startswith("DA:") and path.startswith("src/"):
            num, count = line[3:].split(",")[:2]
            held.setdefault(path, set()).add(int(num))
            if int(count) > 0:
                ran.setdefault(path, set()).add(int(num))
    return held, ran

def modules(held, ran):
    # Lines of each module of src/ (a .cpp and its header, by stem).
    out = {}
    for path in held:
        stem = os.path.splitext(path[4:])[0]
        c, n = out.get(stem, (0, 0))
        out[stem] = (c + len(ran.get(path, ())), n + len(held[path]))
    return out

# All targets together: the union of the lines each holds and each ran.
per = {t: lines(t) for t in targets}
held_all, ran_all = {}, {}
for held, ran in per.values():
    for p, s in held.items():
        held_all.setdefault(p, set()).update(s)
    for p, s in ran.items():
        ran_all.setdefault(p, set()).update(s)
table = {t: modules(*per[t]) for t in targets}
table["all"] = modules(held_all, ran_all)
names = sorted(set().union(*table.values()))
cols = targets + ["all"]
print("%-22s" % "module" + "".join("%16s" % c for c in cols))
def cell(m, k):
    c, n = m.get(k, (0, 0))
    return "%16s" % ("%d/%d %3d%%" % (c, n, 100 * c // n) if n else "-")
for k in names:
    print("%-22s" % k + "".join(cell(table[c], k) for c in cols))
def total(m):
    c = sum(v[0] for v in m.values()); n = sum(v[1] for v in m.values())
    return "%16s" % ("%d/%d %3d%%" % (c, n, 100 * c // n) if n else "-")
print("%-22s" % "src/ in all" + "".join(total(table[c]) for c in cols))
print("%-22s" % "inputs replayed" + "".join("%16s" % inputs.get(c, "") for c in targets))
PY
