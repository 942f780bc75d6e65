#!/usr/bin/env bash
# The bash completion the build wrote: sourced into bash, it completes long
# options, the words an option takes and file names, as a user would see
# after pressing Tab.
#
# usage: completion_test.sh COMPLETION_FILE
set -u
file=$1
fail=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch aln.fa notes.txt
# shellcheck disable=SC1090
source "$file" || { echo "cannot source $file"; exit 1; }
# The completions for the words of a command line, the last being completed.
complete_words() {
  COMP_WORDS=(colsieve "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _colsieve
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {  # wanted, then the words
  local want=$1
  shift
  local got
  got=$(complete_words "$@")
  if [ "$got" != "$want" ]; then
    echo "FAIL: colsieve $*<Tab>: got '$got', wanted '$want'"
    fail=1
  fi
}
expect "--streaming " --st
expect "clustal default fasta nexus paml phylip phylip-relaxed phylip-strict pir " -f ""
expect "phylip phylip-relaxed phylip-strict " --out-format phy
expect "all internal terminal " --mask-stops ""
expect "always auto never " -i aln.fa --streaming ""
expect "aln.fa " -i a
expect "aln.fa notes.txt " -l ""
expect "" -t ""  # a number: nothing to offer
expect "--safe-names --streaming --summary " -i aln.fa --s
expect "1 10 11 12 13 14 15 16 " --cds x.fa --genetic-code 1
[ $fail -eq 0 ] && echo "completions as expected"
exit $fail
