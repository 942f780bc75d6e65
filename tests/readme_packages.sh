#!/usr/bin/env bash
# Every package .ci/run installs is on one of README.md's apt-get install
# lines, so that a user who follows the README has what CI tests with.
#
# usage: readme_packages.sh SOURCE_DIR
set -u
src=$1
ci=$(sed -n '/^packages=(/,/)/p' "$src/.ci/run" | sed 's/packages=(//; s/)//' |
  tr -s ' ' '\n' | grep . | sort -u)
readme=$(grep -o 'apt-get install -y [^`#]*' "$src/README.md" |
  sed 's/apt-get install -y//' | tr -s ' ' '\n' | grep . | sort -u)
[ -n "$ci" ] || { echo "no package list found in .ci/run"; exit 1; }
missing=$(comm -23 <(echo "$ci") <(echo "$readme"))
[ -z "$missing" ] ||
  { echo "README.md's apt-get lines lack what .ci/run installs:" $missing; exit 1; }
