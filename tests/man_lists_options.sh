#!/usr/bin/env bash
# Checks that the manual page and --help document every option colsieve
# accepts. Short options are found by asking the binary itself (every letter
# it does not call invalid); long options by reading --help, which is made
# from the same table as the option parser, and each is tried.
#
# usage: man_lists_options.sh COLSIEVE MANPAGE
set -u
bin=$1
man=$2
fail=0
found=0
# The tags of the option list: the line after each .TP.
tags=$(awk 'prev == ".TP" { print } { prev = $0 }' "$man")
# The option column of --help (its first 25 characters) on the lines that
# start with blanks and '-'.
listed=$("$bin" --help | grep -E '^  +-' | cut -c1-25 | sed -E 's/^ +//; s/ +$//')
for opt in {a..z} {A..Z}; do
  if ! "$bin" "-$opt" < /dev/null 2>&1 > /dev/null | grep -q "invalid option"; then
    found=$((found + 1))
    if ! grep -qE "(^|[ \"])\\\\-$opt([ \",]|$)" <<< "$tags"; then
      echo "option -$opt is accepted but the manual page does not list it"
      fail=1
    fi
    grep -qE "^-$opt( |,|$)" <<< "$listed" ||
      { echo "option -$opt is accepted but --help does not list it"; fail=1; }
  fi
done
longs=$(grep -oE -- '--[a-z-]+' <<< "$listed" | sed 's/^--//')
for long in $longs; do
  "$bin" "--$long" < /dev/null 2>&1 | grep -q "unrecognized option" &&
    { echo "--$long is listed by --help but not accepted"; fail=1; }
  esc=${long//-/\\\\-}  # man pages escape every hyphen
  grep -qE "\\\\-\\\\-$esc([ \",]|$)" <<< "$tags" ||
    { echo "manual page lacks --$long"; fail=1; }
done
# Guard against a probe that finds nothing (a broken binary, say).
nlong=$(wc -w <<< "$longs")
if [ "$found" -lt 12 ] || [ "$nlong" -lt 10 ]; then
  echo "only $found short and $nlong long options found"
  fail=1
fi
echo "$found short and $nlong long options checked"
exit $fail
