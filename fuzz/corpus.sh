# The seed corpus of each fuzz target, made from the format examples in
# fuzz/seeds/ (and, for the command line, from the lines below); sourced by
# run_fuzz.sh and coverage.sh.
#
#   seed_corpus TARGET DIR   writes TARGET's seeds into DIR
#
# The targets read a few control bytes before the text (see each target's
# opening comment): each seed gets one of four prefixes in turn, so that the
# seeds start from different settings. Inputs the fuzzers found that
# showed a fault are kept in fuzz/corpus/TARGET/ and replayed with these.

seed_corpus() {  # target, folder
  local target=$1 dir=$2 seeds k=0 f prefixes
  seeds=$(cd "$(dirname "${BASH_SOURCE[0]}")/seeds" && pwd)
  mkdir -p "$dir"
  case $target in
    reader) prefixes=('\x00' '\x01' '\x0b' '\x3c') ;;
    run) prefixes=('\x00\x40\x0b\x3a' '\x03\x07\x01\x00' '\x24\x51\x02\x9c'
                   '\xe5\xe0\x05\xff') ;;
    write) prefixes=('\x00\x0b\x80\x39' '\x01\x01\x40\x74' '\x1a\x13\xa5\xb6'
                     '\x80\x05\x3c\xff') ;;
    options) options_corpus "$dir"; return ;;
    *) return 1 ;;
  esac
  for f in "$seeds"/*; do
    # The record reader reads FASTA and PIR only.
    if [ "$target" = reader ]; then
      case $f in *.fa | *.pir) ;; *) continue ;; esac
    fi
    { printf "${prefixes[k % 4]}"; cat "$f"; } > "$dir/$(basename "$f").bin"
    k=$((k + 1))
  done
}

# Command lines: the number of arguments, each ended by a NUL, then what
# standard input (and the file "t") holds.
options_corpus() {  # folder
  local dir=$1 seeds n=0 line
  seeds=$(cd "$(dirname "${BASH_SOURCE[0]}")/seeds" && pwd)
  while IFS= read -r line; do
    local args=() stdin=""
    read -r -a args <<< "${line%%|*}"
    [ "$line" != "${line#*|}" ] && stdin=$seeds/${line#*|}
    {
      printf "\\x$(printf %02x ${#args[@]})"
      printf '%s\0' "${args[@]}"
      [ -n "$stdin" ] && cat "$stdin"
    } > "$dir/options_$n.bin"
    n=$((n + 1))
  done << 'LINES'
-i a.fa
-i a.sto -o keep -l map.tsv -w report.html -f nexus
-i - -f fasta --safe-names|globins.fa
-i a.gz -r -p -j 3 -o hard
-i t -t 0.5 -c 0 -m 10 -H -N -u --max-columns 40|small.fa
-i a.phy -f phylip-strict -o out -e messages
-i a.nex -o /dev/full -l keep
-i a.aln -l /dev/stdout -o - -f clustal
-i /dev/stdin --out=x|pir.pir
-i missing.fa a.fa
-i a.fa -o a.fa
-i a.fa -l keep -w keep
-i empty -f paml
-i t -f pir --threads 0 -w hard2|stockholm_markup.sto
-i t -o out -f fasta|msf_globins.msf
-i t -r -w report.html|mega_emboss.meg
-i t -l map.tsv -j 2|selex_rf.slx
-i t -o out -f clustal|psiblast_globins.txt
-i a.msf -o out --complement dropped
-i a.meg -f nexus -o out
-i a.slx -o - -p
-i a.fa --codon --mask-stops all --ends-only -o out
-i p.fa --cds a.cds --genetic-code 11 -o out -l map.tsv
-i n.fa --codon --mask-stops internal -r -f nexus -o out
--out-dir d a.fa a.sto t --summary d/s.json|small.fa
--out-dir d --out-name {stem}.{ext} -l {stem}.tsv -f pir a.fa missing.fa
--version
--help -h
LINES
}
