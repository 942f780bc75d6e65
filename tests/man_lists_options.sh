#!/usr/bin/env bash
# Checks that the manual page documents every option colsieve accepts.
# Options are found by asking the binary itself: every letter it does not
# call invalid, and the long options.
#
# usage: man_lists_options.sh COLSIEVE MANPAGE
set -u
bin=$1
man=$2
fail=0
found=0
# The tags of the option list: the line after each .TP.
tags=$(awk 'prev == ".TP" { print } { prev = $0 }' "$man")
for opt in {a..z} {A..Z}; do
  if ! "$bin" "-$opt" < /dev/null 2>&1 > /dev/null | grep -q "invalid option"; then
    found=$((found + 1))
    if ! grep -qE "(^|[ \"])\\\\-$opt([ \",]|$)" <<< "$tags"; then
      echo "option -$opt is accepted but the manual page does not list it"
      fail=1
    fi
  fi
done
for long in help version fold-case threads max-columns; do
  "$bin" "--$long" < /dev/null 2>&1 | grep -q "unrecognized option" &&
    { echo "--$long is not accepted"; fail=1; }
  esc=${long//-/\\\\-}  # man pages escape every hyphen
  grep -qE "\\\\-\\\\-$esc([ \",]|$)" <<< "$tags" ||
    { echo "manual page lacks --$long"; fail=1; }
done
# Guard against a probe that finds nothing (a broken binary, say).
if [ "$found" -lt 12 ]; then
  echo "only $found options found; expected at least 12"
  fail=1
fi
echo "$found short options checked"
exit $fail
