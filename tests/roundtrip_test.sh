#!/usr/bin/env bash
# Output formats read back by the programs they are for, one part a call:
#   colsieve  colsieve reads its own pir output back and writes it again byte
#             for byte; phylip-relaxed and nexus read back to the same
#             residues
#   biopython Biopython's AlignIO reads fasta, phylip-relaxed, phylip-strict,
#             nexus and clustal output with the names and residues colsieve
#             meant, and its PHYLIP and NEXUS trim like their FASTA form
#   iqtree2, mrbayes, fasttree, phyml, raxml
#             the tree program reads every format it takes (tiny runs, fixed
#             seeds) and writes a tree with every name as colsieve wrote it
#
# usage: roundtrip_test.sh COLSIEVE REPO PART
# Exits 77 (skipped) when the part's program is missing, unless
# COLSIEVE_REQUIRE_ALL is set, as in CI.
set -u
bin=$1
repo=$2
part=$3
. "$(dirname "$0")/require_tool.sh"
py=/usr/bin/python3  # Debian's own, which python3-biopython serves
case $part in
  colsieve) ;;
  biopython)
    require_python "import Bio.AlignIO" "Biopython (python3-biopython)" ;;
  iqtree2 | phyml) require_tool "$part" ;;
  mrbayes) require_tool mb ;;
  raxml) require_tool raxmlHPC ;;
  fasttree)
    fasttree=fasttree  # Debian's name; FastTree elsewhere
    command -v fasttree > /dev/null || fasttree=FastTree
    require_tool "$fasttree" ;;
  *) echo "unknown part $part"; exit 2 ;;
esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0

# Names that need replacing (a Pfam range among them) and a long one that
# strict PHYLIP cuts.
awk '/^>/ { n++; if (n == 1) $0 = ">HBB:HUMAN (beta) globin"; if (n == 2) $0 = ">HBA_HUMAN/1-141,alpha";
  if (n == 3) $0 = ">MYG_PHYCA_sperm_whale" } { print }' "$repo/examples/globins4.fa" > aln.fa
# The same alignment with names that every format keeps whole.
awk '/^>/ { n++; $0 = ">s" n "_globin" } { print }' "$repo/examples/globins4.fa" > short.fa
for f in fasta phylip-relaxed phylip-strict nexus clustal paml pir; do
  "$bin" -i aln.fa -f "$f" > "out.$f" 2> "err.$f" || { echo "$f: status $?"; fail=1; }
  "$bin" -i short.fa -f "$f" > "short.$f" 2> /dev/null || { echo "$f: status $?"; fail=1; }
done
# FASTA with the names tree programs need.
"$bin" -i aln.fa -f fasta --safe-names > safe.fasta 2> /dev/null ||
  { echo "fasta --safe-names: status $?"; fail=1; }
# The names each format writes.
newick="HBB_HUMAN HBA_HUMAN/1-141_alpha MYG_PHYCA_sperm_whale GLB5_PETMA"
nexus="HBB_HUMAN HBA_HUMAN_1_141_alpha MYG_PHYCA_sperm_whale GLB5_PETMA"
strict="HBB_HUMAN HBA_HUMAN/ MYG_PHYCA_ GLB5_PETMA"
short="s1_globin s2_globin s3_globin s4_globin"

# Every name, and no other, in the tree a program wrote (Newick, or
# MrBayes's translate table).
has_names() {  # program format tree names...
  local prog=$1 fmt=$2 tree=$3 got want
  shift 3
  if [ ! -s "$tree" ]; then
    echo "$prog wrote no tree for $fmt"; fail=1; return
  fi
  if [ "$prog" = mrbayes ]; then
    got=$(sed -n '/translate/,/;/p' "$tree" | awk 'NR > 1 { sub(/[,;]$/, "", $2); print $2 }' | sort)
  else
    # A name follows '(' or ',' and ends at ':', ')' or ';'.
    got=$(tr '(,' '\n\n' < "$tree" | sed -n 's/^\([^:);]\{1,\}\).*/\1/p' | sort)
  fi
  want=$(printf '%s\n' "$@" | sort)
  if [ "$got" != "$want" ]; then
    echo "$prog read the $fmt names as:" $got; fail=1
  fi
}

# Runs a program quietly; on failure shows its first error lines, or the
# end of its log.
runs() {  # program format log command...
  local prog=$1 fmt=$2 log=$3
  shift 3
  if ! "$@" > "$log" 2>&1; then
    echo "$prog refused the $fmt output:"
    grep -i -m 4 'error\|instead' "$log" || tail -n 5 "$log"
    fail=1
    return 1
  fi
}

case $part in
colsieve)
  # pir: read back (every column kept), the same residues and the same bytes.
  "$bin" -i out.pir -t -1 -f pir > again.pir 2> /dev/null
  cmp -s out.pir again.pir || { echo "pir: written again differently"; diff out.pir again.pir | head; fail=1; }
  "$bin" -i out.pir -t -1 -f fasta 2> /dev/null | grep -v '^>' > pir.residues
  grep -v '^>' out.fasta > fasta.residues
  cmp -s pir.residues fasta.residues || { echo "pir: residues differ"; fail=1; }
  # phylip-relaxed and nexus read back to the same residues.
  for f in phylip-relaxed nexus; do
    "$bin" -i "out.$f" -t -1 -f fasta 2> /dev/null | grep -v '^>' > "back.$f"
    cmp -s fasta.residues "back.$f" || { echo "$f: read back differently"; fail=1; }
  done
  grep -q '"HBB:HUMAN" became "HBB_HUMAN"' err.phylip-relaxed ||
    { echo "phylip-relaxed: no warning on the changed names"; cat err.phylip-relaxed; fail=1; }
  grep -q '"HBB:HUMAN" became "HBB_HUMAN"' err.nexus ||
    { echo "nexus: no warning on the changed names"; cat err.nexus; fail=1; }
  ;;

biopython)
  "$py" - "$newick" "$nexus" << 'EOF' || fail=1
import sys
from Bio import AlignIO, SeqIO
want = [(r.description, str(r.seq)) for r in SeqIO.parse("out.fasta", "fasta")]
safe, nexus = sys.argv[1].split(), sys.argv[2].split()
strict = [n[:10] for n in safe]
fail = 0
for fmt, bio, names in [("fasta", "fasta", [w[0] for w in want]),
                        ("phylip-relaxed", "phylip-relaxed", safe),
                        ("phylip-strict", "phylip", strict),
                        ("nexus", "nexus", nexus),
                        ("clustal", "clustal", safe)]:
    aln = AlignIO.read("out." + fmt, bio)
    got = [(r.description if bio == "fasta" else r.id, str(r.seq)) for r in aln]
    expect = list(zip(names, [w[1] for w in want]))
    if got != expect:
        print(fmt + ": Biopython read", got[:2], "expected", expect[:2])
        fail = 1
sys.exit(fail)
EOF
  # Input written by Biopython: strict PHYLIP, relaxed PHYLIP and NEXUS trim
  # to the same bytes as the same alignment in FASTA read with -u.
  "$py" - "$repo/examples/globins4.fa" << 'EOF' || fail=1
import sys
from Bio import AlignIO
aln = AlignIO.read(sys.argv[1], "fasta")
for rec in aln:
    rec.annotations["molecule_type"] = "protein"
for fmt, name in [("fasta", "bio.fa"), ("phylip", "bio.phy"),
                  ("phylip-relaxed", "bio.rphy"), ("nexus", "bio.nex")]:
    AlignIO.write(aln, name, fmt)
EOF
  "$bin" -u -i bio.fa > bio.want 2> bio.want.err
  for f in bio.phy bio.rphy bio.nex; do
    if ! { "$bin" -i "$f" > "$f.out" 2> "$f.err" && cmp -s bio.want "$f.out" &&
           cmp -s bio.want.err "$f.err"; }; then
      echo "$f: trims differently from its FASTA form"; head -n 3 "$f.err"; fail=1
    fi
  done
  ;;

iqtree2)
  # One fast model; IQ-TREE reads every format but pir. It names taxa as
  # written, but for fasta, where it makes the whole header safe itself.
  for f in phylip-relaxed phylip-strict nexus clustal paml fasta; do
    runs iqtree2 "$f" "iq.$f.log" iqtree2 -s "out.$f" -m LG -seed 1 -fast \
      -nt 1 -redo -quiet -pre "iq.$f" || continue
    case $f in
      phylip-strict) has_names iqtree2 "$f" "iq.$f.treefile" $strict ;;
      nexus) has_names iqtree2 "$f" "iq.$f.treefile" $nexus ;;
      fasta) ;;
      *) has_names iqtree2 "$f" "iq.$f.treefile" $newick ;;
    esac
  done
  runs iqtree2 fasta iq.short.log iqtree2 -s short.fasta -m LG -seed 1 -fast \
    -nt 1 -redo -quiet -pre iq.short &&
    has_names iqtree2 fasta iq.short.treefile $short
  ;;

mrbayes)
  # NEXUS only: Pfam names (VCAM1_HUMAN/1-90) and the globins, protein, and
  # a small DNA alignment; a hundred generations of one chain.
  "$bin" -i "$repo/examples/fn3.sto" -f nexus -o fn3.nex 2> /dev/null
  "$bin" -i "$repo/examples/3box.fa" -f nexus -o 3box.nex 2> /dev/null
  for f in out.nexus fn3.nex 3box.nex; do
    printf '#NEXUS\nbegin mrbayes;\n  set autoclose=yes nowarn=yes seed=1 swapseed=1;\n  execute %s;\n  mcmc ngen=100 nruns=1 nchains=1 samplefreq=10 printfreq=100 diagnfreq=100;\n  quit;\nend;\n' \
      "$f" > "run.$f"
    runs mrbayes "$f" "mb.$f.log" mb "run.$f" < /dev/null || continue
    names=$nexus
    [ "$f" = out.nexus ] || names=$(sed -n '/MATRIX/,/;/p' "$f" | awk 'NF == 2 { print $1 }')
    has_names mrbayes "$f" "$f.t" $names
  done
  ;;

fasttree)
  # fasta and the PHYLIP formats; strict PHYLIP only when every name is
  # shorter than 10 characters, as FastTree reads a name up to a blank.
  for f in fasta phylip-relaxed paml; do
    runs fasttree "$f" "ft.$f.log" "$fasttree" -quiet -nopr -seed 1 -out "ft.$f.tre" "short.$f" &&
      has_names fasttree "$f" "ft.$f.tre" $short
  done
  for f in phylip-relaxed paml; do
    runs fasttree "$f" "ft.$f.log" "$fasttree" -quiet -nopr -seed 1 -out "ft.$f.tre" "out.$f" &&
      has_names fasttree "$f" "ft.$f.tre" $newick
  done
  runs fasttree "fasta --safe-names" ft.safe.log "$fasttree" -quiet -nopr -seed 1 \
    -out ft.safe.tre safe.fasta &&
    has_names fasttree "fasta --safe-names" ft.safe.tre $newick
  runs fasttree phylip-strict ft.strict.log "$fasttree" -quiet -nopr -seed 1 \
    -out ft.strict.tre short.phylip-strict &&
    has_names fasttree phylip-strict ft.strict.tre $short
  ;;

phyml)
  # PHYLIP formats only (PhyML's NEXUS reader refuses FORMAT's GAP= and
  # MISSING=); strict only with names shorter than 10 characters. One CPU:
  # Debian's wrapper would start the MPI build, which refuses to run as root.
  export PHYMLCPUS=1
  for f in phylip-relaxed paml phylip-strict; do
    in=out.$f names=$newick
    [ "$f" = phylip-strict ] && { in=short.$f; names=$short; }
    runs phyml "$f" "ph.$f.log" phyml -i "$in" -d aa -m LG -b 0 -o tl -c 1 \
      --r_seed 1 --no_memory_check --quiet &&
      has_names phyml "$f" "${in}_phyml_tree.txt" $names
  done
  ;;

raxml)
  # PHYLIP formats and fasta (whose names must be safe: RAxML refuses the
  # whole header of aln.fa); strict only with names shorter than 10.
  for f in phylip-relaxed paml fasta phylip-strict; do
    in=out.$f names=$newick
    case $f in fasta | phylip-strict) in=short.$f names=$short ;; esac
    runs raxml "$f" "rx.$f.log" raxmlHPC -s "$in" -n "rx.$f" -m PROTCATLG \
      -p 1 -F -w "$work" &&
      has_names raxml "$f" "RAxML_result.rx.$f" $names
  done
  runs raxml "fasta --safe-names" rx.safe.log raxmlHPC -s safe.fasta -n rx.safe \
    -m PROTCATLG -p 1 -F -w "$work" &&
    has_names raxml "fasta --safe-names" RAxML_result.rx.safe $newick
  ;;
esac
exit $fail
