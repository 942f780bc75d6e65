#!/usr/bin/env bash
# Everything `make check` runs: the format check, the test suite built five
# ways (release with warnings as errors and the Python module, with gcc; the
# same with clang; with zlib in place of ISA-L and the portable fallbacks of
# src/base/platform; AddressSanitizer and
# UndefinedBehaviorSanitizer; ThreadSanitizer), and the fuzzers. The release
# suite runs every test; the others, whose builds only differ in how the
# same code is compiled or linked, run the unit and black-box (cli) tests,
# the sanitizers with two threads. Ends with the time of each stage and one
# line, "N passed, M failed, K skipped", then what was skipped and why.
#
# usage: tests/check.sh [BUILD_DIR]
# environment: FUZZ_SECONDS (default 60): the four fuzzers share twice that
# time (see fuzz/run_fuzz.sh); COLSIEVE_REQUIRE_ALL
# turns every skip for a missing tool into a failure, as in CI.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
fuzz_seconds=${FUZZ_SECONDS:-60}
cd "$root" || exit 1
mkdir -p "$build"

passed=0
failed=0
skipped=0
skips=()
failures=()
stages=()
stage_start=$SECONDS

# Ends the stage begun last, naming it in the table of times.
stage_done() {  # name
  stages+=("$(printf '%-10s %4d s' "$1" $((SECONDS - stage_start)))")
  stage_start=$SECONDS
}

count() {  # status (pass, fail, skip), name, reason
  case $1 in
    pass) passed=$((passed + 1)) ;;
    fail) failed=$((failed + 1)); failures+=("$2") ;;
    skip) skipped=$((skipped + 1)); skips+=("$2: $3") ;;
  esac
}

# Counts the test cases of a CTest JUnit file; a skipped case's reason is
# the first line it printed.
count_junit() {  # suite, file
  local suite=$1 name status reason
  while IFS=$'\t' read -r name status reason; do
    case $status in
      run) count pass "$suite/$name" ;;
      notrun) count skip "$suite/$name" "${reason:-skipped}" ;;
      *) count fail "$suite/$name" ;;
    esac
  done < <(awk '
    /<testcase / {
      match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7)
      match($0, /status="[^"]*"/); status = substr($0, RSTART + 8, RLENGTH - 9)
      reason = ""; inside = 0
    }
    {
      line = $0
      if (line ~ /<system-out>/) { inside = 1; sub(/.*<system-out>/, "", line) }
      if (inside) {
        last = line ~ /<\/system-out>/
        sub(/<\/system-out>.*/, "", line)
        if (reason == "" && line != "") reason = line
        if (last) inside = 0
      }
    }
    /<\/testcase>/ { printf "%s\t%s\t%s\n", name, status, reason }
  ' "$2")
}

suite() {  # name, ctest label filter ("" for every test), then cmake options
  local name=$1 labels=$2
  shift 2
  local dir=$build/$name
  echo "== $name suite"
  if ! { cmake -S "$root" -B "$dir" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
           -DCOLSIEVE_BUILD_TESTS=ON "$@" &&
         cmake --build "$dir" -j2; } > "$dir.log" 2>&1; then
    cat "$dir.log"
    count fail "$name: build"
    stage_done "$name"
    return
  fi
  rm -f "$dir/junit.xml"
  local select=()
  [ -n "$labels" ] && select=(-L "$labels")
  ctest --test-dir "$dir" --output-on-failure -j2 "${select[@]}" \
    --output-junit junit.xml
  if [ -f "$dir/junit.xml" ] && grep -q "<testcase " "$dir/junit.xml"; then
    count_junit "$name" "$dir/junit.xml"
  elif [ ! -f "$dir/CTestTestfile.cmake" ]; then
    count fail "$name: no tests were built (is GoogleTest installed?)"
  else
    count fail "$name: ctest"
  fi
  stage_done "$name"
}

echo "== format"
if command -v clang-format > /dev/null; then
  if clang-format --dry-run --Werror src/*/*.cpp src/*/*.h \
       tests/*.cpp tests/*.h fuzz/*.cpp fuzz/*.h bench/*.cpp; then
    count pass format
  else
    count fail format
  fi
elif [ -n "${COLSIEVE_REQUIRE_ALL:-}" ]; then
  echo "clang-format is not installed"
  count fail format
else
  count skip format "clang-format is not installed"
fi
stage_done format

# The release suite also builds and tests the Python module, where Debian's
# Python has what it needs.
python_opts=()
if /usr/bin/python3 -c 'import pybind11, numpy, pytest, setuptools' 2> /dev/null; then
  python_opts=(-DCOLSIEVE_PYTHON=ON -DPython_EXECUTABLE=/usr/bin/python3)
elif [ -n "${COLSIEVE_REQUIRE_ALL:-}" ]; then
  echo "the Python module needs pybind11, NumPy, pytest and setuptools"
  count fail "python: build"
else
  count skip python "pybind11, NumPy, pytest or setuptools is not installed"
fi
suite check "" -DCMAKE_BUILD_TYPE=Release "${python_opts[@]}"
# The same with the other compiler, and with zlib in place of ISA-L.
if command -v clang++ > /dev/null; then
  suite clang "unit|cli" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++
elif [ -n "${COLSIEVE_REQUIRE_ALL:-}" ]; then
  echo "clang++ is not installed"
  count fail "clang: build"
else
  count skip clang "clang++ is not installed"
fi
suite portable "unit|cli" -DCMAKE_BUILD_TYPE=Release -DCOLSIEVE_GZIP=zlib \
  -DCOLSIEVE_PORTABLE=ON
suite sanitized "unit|cli" -DCMAKE_BUILD_TYPE=Debug -DCOLSIEVE_SANITIZE=ON
suite tsan "unit|cli" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOLSIEVE_TSAN=ON

echo "== fuzz"
"$root/fuzz/run_fuzz.sh" "$build/fuzz" "$fuzz_seconds" > "$build/fuzz.log" 2>&1
status=$?
cat "$build/fuzz.log"
case $status in
  0) count pass fuzz ;;
  77) count skip fuzz "$(head -n 1 "$build/fuzz.log")" ;;
  *) count fail fuzz ;;
esac
stage_done fuzz

echo
echo "time of each stage:"
for t in "${stages[@]}"; do echo "  $t"; done
echo "  all        $(printf '%4d s' "$SECONDS")"
echo "$passed passed, $failed failed, $skipped skipped"
for s in "${skips[@]}"; do echo "skipped: $s"; done
for f in "${failures[@]}"; do echo "failed: $f"; done
[ "$failed" -eq 0 ]
