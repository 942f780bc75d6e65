#!/bin/bash
# The sweep behind bench/accuracy/RESULTS.md: every setting below on every
# condition, gene trees only (--no-concat), then a short list with the
# concatenated trees too. The second pass reuses the first's gene trees.
# Then the table across conditions (summary.py). On 2 cores the six
# conditions take about two hours.
#
# usage: bench/accuracy/sweep.sh [CONDITION...]   (default: all, in order)
# environment: SWEEP_DIR (default $TMPDIR/colsieve-accuracy-sweep) holds the
# work folders and the tables; COLSIEVE the binary; JOBS (default 2).
# Run it under nice -n 19 on a shared machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=${SWEEP_DIR:-${TMPDIR:-/tmp}/colsieve-accuracy-sweep}
jobs=${JOBS:-2}
mkdir -p "$dir/tables"

# Settings every condition gets: the target, the scale constant (fixed and
# automatic, with caps), -H, and the ends-only selection.
common=("default" "-t 0.7" "-t 0.5" "-t 0.3" "-t 0.2" "-t 0.15" "-t 0.1"
        "-t 0.05"
        "-c 0" "-c 0 -m 2" "-c 0 -m 4" "-c 2" "-c 4" "-H" "-c 0 -H"
        "--ends-only" "--ends-only -t 0.5" "--ends-only -c 0")
codon=("--codon" "--codon -t 0.5" "--codon -t 0.3" "--codon -c 0"
       "--codon --mask-stops all" "--codon --mask-stops all -t 0.5")
cds=("--cds" "--cds -t 0.5" "--cds -t 0.3" "--cds -c 0")
# Rules tried outside colsieve (bench/accuracy/rules.py): the oracle drops
# the columns that the true alignment shows to be misaligned (a reference
# no real data has); the other two drop the columns with too few residues.
rules=("rule:oracle:0.5" "rule:min-residues:4" "rule:min-weighted:4"
       "rule:gappy-uninformative:0.5" "rule:gappy-uninformative:0.3"
       "rule:min-kept:0.8" "rule:min-kept:0.7")
# The short list that also gets concatenated trees.
short=("default" "-t 0.5" "-t 0.3" "-t 0.2" "-c 0" "--ends-only")
short_codon=("--codon" "--codon -t 0.5" "--codon -t 0.3" "--cds")

# name: run.sh arguments of the condition
declare -A cond=(
  [P1]="--type protein --genes 80 --taxa 36 --depth 1.0 --indel-rate 0.03 --fast-share 0.2 --seed 101"
  [C1]="--type codon --genes 60 --taxa 36 --depth 1.5 --indel-rate 0.03 --fast-share 0.2 --seed 202"
  [P2]="--type protein --genes 80 --taxa 16 --depth 2.0 --indel-rate 0.06 --fast-share 0.3 --seed 303"
  [C2]="--type codon --codon-align dna --genes 60 --taxa 24 --depth 0.8 --indel-rate 0.015 --fast-share 0.2 --seed 404"
  [P3]="--type protein --genes 60 --taxa 50 --depth 0.5 --indel-rate 0.02 --fast-share 0.1 --seed 505"
  [C3]="--type codon --genes 60 --taxa 30 --depth 1.0 --indel-rate 0.04 --fast-share 0.2 --seed 707"
  [P4]="--type protein --genes 80 --taxa 36 --depth 1.5 --indel-rate 0.04 --fast-share 0.2 --seed 606 --mafft '--retree 2 --maxiterate 0'"
)
# P4 (MAFFT's FFT-NS-2) is there to be run by name; RESULTS.md has the
# first six.
order=(P1 P2 C1 C2 P3 C3)
[ $# -gt 0 ] && order=("$@")

join() { local IFS=';'; echo "$*"; }

for name in "${order[@]}"; do
  args=${cond[$name]:?unknown condition $name}
  all=("${common[@]}" "${rules[@]}")
  few=("${short[@]}")
  case $args in
    *"--type codon"*)
      all+=("${codon[@]}")
      few+=("${short_codon[@]}")
      case $args in
        *"--codon-align dna"*) few=("${few[@]/--cds/}") ;;
        *) all+=("${cds[@]}") ;;
      esac ;;
  esac
  eval "condition=($args)"  # P4's MAFFT options are one quoted word
  "$here/run.sh" "${condition[@]}" --jobs "$jobs" --out "$dir/$name" \
    --no-concat --settings "$(join "${all[@]}")" \
    --table "$dir/tables/$name-all.md"
  "$here/run.sh" "${condition[@]}" --jobs "$jobs" --out "$dir/$name" \
    --settings "$(join "${few[@]}")" --table "$dir/tables/$name-short.md"
done
/usr/bin/python3 "$here/summary.py" "$dir" "${order[@]}" > "$dir/tables/summary.md"
cat "$dir/tables/summary.md"
