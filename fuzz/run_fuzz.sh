#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# from its seeds (fuzz/corpus.sh) and the inputs kept in fuzz/corpus/TARGET.
# Fails on any crash, leak, timeout or sanitizer report. New inputs go to a
# scratch folder, not the corpus.
#
# usage: fuzz/run_fuzz.sh BUILD_DIR [SECONDS [TARGET...]]
# The four targets (reader, run, write, options) share twice SECONDS
# (default 60), SECONDS / 2 each: the step takes as long as it did when
# two targets ran SECONDS each. TARGETs name some to run, SECONDS each.
# Exits 77 (skipped) when clang++ is missing, unless COLSIEVE_REQUIRE_ALL
# is set, as in CI. With FUZZ_KEEP=DIR, the new inputs of each target are
# kept in DIR/TARGET, for fuzz/coverage.sh to replay.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))
targets=("$@")
each=$seconds
if [ ${#targets[@]} -eq 0 ]; then
  targets=(reader run write options)
  each=$(((seconds + 1) / 2))
fi
. "$root/tests/require_tool.sh"
. "$root/fuzz/corpus.sh"
require_tool clang++
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCOLSIEVE_FUZZ=ON -DCOLSIEVE_BUILD_TESTS=OFF > /dev/null || exit 1
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" > /dev/null || exit 1

# In memory where /dev/shm is; the targets' own scratch folders go inside
# it (TMPDIR), so that a crash leaves none behind.
scratch=$(mktemp -d -p /dev/shm 2> /dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
fail=0
for target in "${targets[@]}"; do
  found=$scratch/$target
  seeds=$scratch/seeds_$target
  mkdir -p "$found" "$scratch/artifacts_$target"
  seed_corpus "$target" "$seeds"
  dirs=("$found" "$seeds")
  [ -d "$root/fuzz/corpus/$target" ] && dirs+=("$root/fuzz/corpus/$target")
  dict=()
  [ -f "$root/fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
  log=$scratch/$target.log
  keep() {
    [ -n "${FUZZ_KEEP:-}" ] || return 0
    mkdir -p "$FUZZ_KEEP/$target" && cp "$found"/* "$FUZZ_KEEP/$target/" 2> /dev/null
    cp "$log" "$FUZZ_KEEP/$target.log"
  }
  if ! (cd "$scratch" && "$build/fuzz_$target" -max_total_time="$each" -timeout=10 \
          -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" \
          -artifact_prefix="$scratch/artifacts_$target/" "${dirs[@]}") > "$log" 2>&1; then
    echo "fuzz_$target failed:"
    grep -E -m 20 'fuzz fault|ERROR|runtime error|SUMMARY|^ *#[0-9]+ .* in [^ ]* /' "$log" |
      grep -v -E 'libFuzzer|fuzzer::|__libc|_start' | head -n 30
    # The input that failed, kept in the build folder to replay.
    mkdir -p "$build/artifacts"
    for a in "$scratch/artifacts_$target"/*; do
      [ -f "$a" ] || continue
      cp "$a" "$build/artifacts/${target}_$(basename "$a")"
      echo "input: $build/artifacts/${target}_$(basename "$a") ($(wc -c < "$a") bytes)"
    done
    keep
    fail=1
    continue
  fi
  keep
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$')
  nseeds=$(ls "$seeds" | wc -l)
  nfound=$(ls "$found" | wc -l)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
  echo "fuzz_$target: $execs runs in ${each}s, $nseeds seeds, $nfound new inputs, $cov"
done
exit $fail
