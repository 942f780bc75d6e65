#!/usr/bin/env bash
# One version everywhere a user reads it: project(VERSION) in CMakeLists.txt,
# the first line of `colsieve --version`, the newest entry of
# debian/changelog (a native package: the same version, no revision), the
# manual page's title line and a section of CHANGELOG.md.
#
# usage: version_test.sh COLSIEVE REPO
set -u
bin=$1
repo=$2
fail=0
version=$(sed -n 's/^project(colsieve VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
[ -n "$version" ] || { echo "no project(colsieve VERSION ...) in CMakeLists.txt"; exit 1; }
expect() {  # where, what it says
  [ "$2" = "$version" ] ||
    { echo "$1 says '$2', CMakeLists.txt says $version"; fail=1; }
}
expect "colsieve --version" "$("$bin" --version | sed -n '1s/^colsieve //p')"
expect "debian/changelog" "$(sed -n '1s/^colsieve (\([^)]*\)).*/\1/p' "$repo/debian/changelog")"
expect "colsieve.1" "$(sed -n '1s/^\.TH .*"colsieve \([^"]*\)".*/\1/p' "$repo/colsieve.1")"
grep -q "^## \[$version\] - " "$repo/CHANGELOG.md" ||
  { echo "CHANGELOG.md has no section for $version"; fail=1; }
exit $fail
