#!/usr/bin/env bash
# `make demo` on a first build: one line says what it is building before the
# build starts, the build's own output stays hidden, and the demo's
# alignment comes after. CMake is replaced by a stand-in that prints a line
# of its own and makes a colsieve that prints one, so that the order of the
# lines is seen without building anything.
#
# usage: demo_test.sh SOURCE_DIR
set -u
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat > "$work/bin/cmake" << 'STUB'
#!/usr/bin/env bash
echo "cmake's own output"
if [ "$1" = --build ]; then
  printf '#!/bin/sh\necho the trimmed alignment\n' > "$2/colsieve"
  chmod +x "$2/colsieve"
else
  while [ $# -gt 0 ] && [ "$1" != -B ]; do shift; done
  mkdir -p "$2"
fi
STUB
chmod +x "$work/bin/cmake"
PATH=$work/bin:$PATH make -s --no-print-directory -C "$src" demo \
  BUILD="$work/build" > "$work/out" 2>&1 || { echo "make demo failed:"; cat "$work/out"; exit 1; }
fail=0
head -n 1 "$work/out" | grep -q '^building colsieve .*\.\.\.$' ||
  { echo "make demo does not start by saying what it builds:"; cat "$work/out"; fail=1; }
! grep -q "cmake's own output" "$work/out" ||
  { echo "make demo shows the build's output"; fail=1; }
[ "$(tail -n 1 "$work/out")" = "the trimmed alignment" ] ||
  { echo "make demo does not end with the alignment:"; cat "$work/out"; fail=1; }
exit $fail
