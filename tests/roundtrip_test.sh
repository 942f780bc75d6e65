#!/usr/bin/env bash
# Output formats read back by the programs they are for: Biopython's AlignIO
# reads fasta, phylip-relaxed, phylip-strict, nexus and clustal output with
# the names and residues colsieve meant; colsieve reads its own pir output
# back, and writes it again byte for byte; IQ-TREE accepts the
# phylip-relaxed and nexus outputs.
#
# usage: roundtrip_test.sh COLSIEVE REPO
# Exits 77 (skipped) when Debian's python3 with Biopython, or iqtree2, is
# missing, unless COLSIEVE_REQUIRE_ALL is set, as in CI.
set -u
bin=$1
repo=$2
. "$(dirname "$0")/require_tool.sh"
require_tool iqtree2
py=/usr/bin/python3  # Debian's own, which python3-biopython serves
if ! "$py" -c 'import Bio.AlignIO' 2> /dev/null; then
  [ -n "${COLSIEVE_REQUIRE_ALL:-}" ] && { echo "Biopython is not installed"; exit 1; }
  echo "Biopython (python3-biopython) is not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0

# Names that need replacing and a long one that strict PHYLIP cuts.
awk '/^>/ { n++; if (n == 1) $0 = ">HBB:HUMAN (beta) globin"; if (n == 2) $0 = ">HBA_HUMAN,alpha";
  if (n == 3) $0 = ">MYG_PHYCA_sperm_whale" } { print }' "$repo/examples/globins4.fa" > aln.fa
for f in fasta phylip-relaxed phylip-strict nexus clustal pir; do
  "$bin" -i aln.fa -f "$f" > "out.$f" 2> "err.$f" || { echo "$f: status $?"; fail=1; }
done

# What each format should hold: the kept columns as fasta writes them, and
# the names as the format writes them.
"$py" - << 'EOF' || fail=1
import sys
from Bio import AlignIO, SeqIO
want = [(r.description, str(r.seq)) for r in SeqIO.parse("out.fasta", "fasta")]
safe = ["HBB_HUMAN", "HBA_HUMAN_alpha", "MYG_PHYCA_sperm_whale", "GLB5_PETMA"]
strict = [n[:10] for n in safe]
fail = 0
for fmt, bio, names in [("fasta", "fasta", [w[0] for w in want]),
                        ("phylip-relaxed", "phylip-relaxed", safe),
                        ("phylip-strict", "phylip", strict),
                        ("nexus", "nexus", safe),
                        ("clustal", "clustal", safe)]:
    aln = AlignIO.read("out." + fmt, bio)
    got = [(r.description if bio == "fasta" else r.id, str(r.seq)) for r in aln]
    expect = list(zip(names, [w[1] for w in want]))
    if got != expect:
        print(fmt + ": Biopython read", got[:2], "expected", expect[:2])
        fail = 1
sys.exit(fail)
EOF
grep -q '"HBB:HUMAN" became "HBB_HUMAN"' err.nexus ||
  { echo "nexus: no warning on the changed names"; cat err.nexus; fail=1; }

# pir: read back (every column kept), the same residues and the same bytes.
"$bin" -i out.pir -t -1 -f pir > again.pir 2> /dev/null
cmp -s out.pir again.pir || { echo "pir: written again differently"; diff out.pir again.pir | head; fail=1; }
"$bin" -i out.pir -t -1 -f fasta 2> /dev/null | grep -v '^>' > pir.residues
grep -v '^>' out.fasta > fasta.residues
cmp -s pir.residues fasta.residues || { echo "pir: residues differ"; fail=1; }

# colsieve's own phylip-relaxed and nexus read back to the same residues.
for f in phylip-relaxed nexus; do
  "$bin" -i "out.$f" -t -1 -f fasta 2> /dev/null | grep -v '^>' > "back.$f"
  cmp -s fasta.residues "back.$f" || { echo "$f: read back differently"; fail=1; }
done

# Input written by Biopython: strict PHYLIP, relaxed PHYLIP and NEXUS trim to
# the same bytes as the same alignment in FASTA read with -u.
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

# IQ-TREE takes both tree-program formats (fixed seed, one fast model).
for f in phylip-relaxed nexus; do
  if ! iqtree2 -s "out.$f" -m LG -seed 1 -fast -nt 1 -redo -quiet \
       -pre "iq.$f" > "iq.$f.log" 2>&1; then
    echo "iqtree2 refused the $f output:"; tail -n 5 "iq.$f.log"; fail=1
  elif [ ! -s "iq.$f.treefile" ]; then
    echo "iqtree2 wrote no tree for $f"; fail=1
  fi
done
exit $fail
