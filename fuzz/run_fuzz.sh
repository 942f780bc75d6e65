#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# from the committed seed corpus. Fails on any crash, leak, timeout or
# sanitizer report. New inputs go to a scratch folder, not the corpus.
#
# usage: fuzz/run_fuzz.sh BUILD_DIR [SECONDS]
# Exits 77 (skipped) when clang++ is missing, unless COLSIEVE_REQUIRE_ALL is
# set, as in CI.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
seconds=${2:-60}
. "$root/tests/require_tool.sh"
require_tool clang++
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCOLSIEVE_FUZZ=ON -DCOLSIEVE_BUILD_TESTS=OFF > /dev/null || exit 1
cmake --build "$build" -j2 --target fuzz_reader fuzz_run > /dev/null || exit 1

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail=0
for target in reader run; do
  mkdir -p "$scratch/$target"
  log=$scratch/$target.log
  if ! (cd "$scratch" && "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
          -rss_limit_mb=2048 -print_final_stats=1 \
          "$scratch/$target" "$root/fuzz/corpus/$target") > "$log" 2>&1; then
    echo "fuzz_$target failed:"
    tail -n 60 "$log"
    fail=1
    continue
  fi
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$')
  seeds=$(ls "$root/fuzz/corpus/$target" | wc -l)
  found=$(ls "$scratch/$target" | wc -l)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
  echo "fuzz_$target: $execs runs in ${seconds}s, $seeds seeds, $found new inputs, $cov"
done
exit $fail
