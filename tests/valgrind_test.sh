#!/usr/bin/env bash
# Runs colsieve under valgrind's memcheck on a real alignment, every layout:
# any invalid access, use of uninitialised memory or leak fails the test.
#
# usage: valgrind_test.sh COLSIEVE ALIGNMENT
# Exits 77 (skipped) when valgrind is missing, unless COLSIEVE_REQUIRE_ALL
# is set, as in CI.
set -u
bin=$1
aln=$2
. "$(dirname "$0")/require_tool.sh"
require_tool valgrind
map=$(mktemp)
trap 'rm -f "$map"' EXIT
fail=0
for opts in "" "-r -p" "-c 0 -H"; do
  if ! valgrind -q --error-exitcode=1 --leak-check=full \
       --errors-for-leak-kinds=definite,indirect \
       "$bin" -i "$aln" -l "$map" $opts > /dev/null 2> "$map.err"; then
    echo "valgrind reported errors with options '$opts':"
    cat "$map.err"
    fail=1
  fi
  rm -f "$map.err"
done
exit $fail
