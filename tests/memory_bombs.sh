#!/usr/bin/env bash
# Small gzip files that inflate to 100 MB, fed to every reader under a 1 GB
# limit on virtual memory: blank lines, many tokens, one long line that is
# passed over, and one long row. Each run must end with the right output
# (the same as without the bomb) or with a clear error, never "out of
# memory". Prints each case's time, for information.
#
# usage: memory_bombs.sh COLSIEVE
set -u
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
big=100000000  # bytes each bomb inflates to

# N bytes of one character: "\n" for blank lines, "A" for a row...
run_of() { head -c "$2" /dev/zero | tr '\0' "$1"; }
# N bytes of "C " pairs (or of another letter): many one-letter tokens.
tokens() { yes "${2:-C}" | tr '\n' ' ' | head -c "$1"; }

# case NAME BEFORE BOMB-COMMAND AFTER EXPECT
#   EXPECT is "same" (the output of BEFORE+AFTER without the bomb, status 0)
#   or the start of the error message (status 1).
bomb() {
  local name=$1 before=$2 make=$3 after=$4 expect=$5
  { printf '%b' "$before"; eval "$make"; printf '%b' "$after"; } | gzip -1 > "$name.gz"
  printf '%b%b' "$before" "$after" > "$name.plain"
  local start end status
  start=$(date +%s%N)
  (ulimit -v 1000000; timeout 60 "$bin" -i "$name.gz" > "$name.out" 2> "$name.err")
  status=$?
  end=$(date +%s%N)
  printf '%-28s %5d ms  status %d  %s\n' "$name" $(( (end - start) / 1000000 )) \
    "$status" "$(head -c 70 "$name.err" | head -n 1)"
  if grep -q "out of memory" "$name.err"; then
    echo "$name: ran out of memory"; fail=1
  elif [ "$expect" = same ]; then
    "$bin" -i "$name.plain" > "$name.want" 2> /dev/null
    if [ "$status" -ne 0 ] || ! cmp -s "$name.want" "$name.out"; then
      echo "$name: expected the output without the bomb"; head -n 3 "$name.err"; fail=1
    fi
  elif [ "$status" -ne 1 ] || ! grep -qF -- "$expect" "$name.err"; then
    echo "$name: expected status 1 and \"$expect\""; head -n 3 "$name.err"; fail=1
  fi
}

fa='>a\nACDEFGHIK\n>b\nACDEFGHIK\n'
bomb fasta_blank_lines ">a\nACDEFGHIK\n" "run_of '\n' $big" ">b\nACDEFGHIK\n" same
bomb fasta_tokens ">a\n" "tokens $big" "\n>b\nAC\n" "ERROR: sequence too long."
bomb fasta_dropped_line "$fa>c\nACDEFGHIK" "run_of x $big" "\n" same
bomb fasta_long_row ">a\n" "run_of A $big" "\n" "ERROR: sequence too long."

sto='# STOCKHOLM 1.0\na ACDEFGHIK\nb ACDEFGHIK\n'
bomb stockholm_blank_lines "$sto" "run_of '\n' $big" "\na LM\nb LM\n//\n" same
bomb stockholm_tokens "$sto#=GS a DE " "tokens $big x" "\n//\n" same
bomb stockholm_skipped_line "$sto#=GF CC " "run_of x $big" "\n//\n" same
bomb stockholm_long_row "$sto\na " "run_of A $big" "\n//\n" \
  "ERROR: sequence too long."

clu='CLUSTAL W\n\na ACDEFGHIK\nb ACDEFGHIK\n'
bomb clustal_blank_lines "$clu" "run_of '\n' $big" "\na LM\nb LM\n" same
bomb clustal_tokens "$clu\na " "tokens $big" "\n" "ERROR: sequence too long."
bomb clustal_skipped_line "$clu " "run_of '*' $big" "\n" same
bomb clustal_long_row "$clu\na " "run_of A $big" "\n" "ERROR: sequence too long."

phy='2 9\nalpha ACDEFGHIK\n'
bomb phylip_blank_lines "$phy" "run_of '\n' $big" "beta  ACDEFGHIK\n" same
bomb phylip_tokens "$phy" "tokens $big" "\nbeta  ACDEFGHIK\n" \
  "holds more than the 9 columns"
bomb phylip_trailing_blanks "${phy}beta  ACDEFGHIK" "run_of ' ' $big" "\n" same
bomb phylip_long_row "${phy}beta " "run_of A $big" "\n" \
  "holds more than the 9 columns"

nex='#NEXUS\nBEGIN DATA;\nDIMENSIONS NTAX=2 NCHAR=9;\nMATRIX\na ACDEFGHIK\nb ACDEFGHIK\n;\nEND;\n'
bomb nexus_blank_lines "#NEXUS\n" "run_of '\n' $big" "${nex#\#NEXUS\\n}" same
bomb nexus_tokens "#NEXUS\nBEGIN TAXA;\nTAXLABELS " "tokens $big t" \
  ";\nEND;\n${nex#\#NEXUS\\n}" same
bomb nexus_comment "#NEXUS\n[" "run_of x $big" "]\n${nex#\#NEXUS\\n}" same
bomb nexus_nested_comments "#NEXUS\n" "run_of '[' $big" "\n" \
  "is never closed"
bomb nexus_long_row "#NEXUS\nBEGIN DATA;\nMATRIX\na " "run_of A $big" "\n;\nEND;\n" \
  "ERROR: sequence too long."
exit $fail
