#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that the binary and the
# manual page land where they should and that the installed binary runs.
#
# usage: install_test.sh BUILD_DIR
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null || exit 1
fail=0
[ -x "$prefix/bin/colsieve" ] || { echo "no bin/colsieve"; fail=1; }
[ -f "$prefix/share/man/man1/colsieve.1" ] || { echo "no share/man/man1/colsieve.1"; fail=1; }
"$prefix/bin/colsieve" --version | grep -q '^colsieve [0-9]' ||
  { echo "installed binary does not run"; fail=1; }
exit $fail
