#!/usr/bin/env bash
# The four steps of a codon alignment, for real: coding sequences (the HA
# genes of examples/H5N1_HA_5.fa, gaps removed, gzip-compressed) translated
# by Biopython, the proteins aligned by MAFFT (and, as insert-marked A2M, by
# hmmalign), then colsieve with --cds in every output format. Biopython's
# translation of every output row must be the kept residues of that row.
#
# usage: cds_roundtrip.sh COLSIEVE REPO
set -u
bin=$1
repo=$2
. "$(dirname "$0")/require_tool.sh"
require_tool mafft
require_tool hmmalign
py=/usr/bin/python3
require_python "import Bio.AlignIO" "Biopython (python3-biopython)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0

# 1. Translate.
"$py" - "$repo/examples/H5N1_HA_5.fa" << 'EOF'
import sys
from Bio import SeqIO
with open("cds.fa", "w") as c, open("prot.fa", "w") as p:
    for r in SeqIO.parse(sys.argv[1], "fasta"):
        s = str(r.seq).replace("-", "")
        c.write(">%s\n%s\n" % (r.id, s))
        p.write(">%s\n%s\n" % (r.id, r.seq.replace("-", "").translate()))
EOF
gzip -k cds.fa
# 2. Align.
mafft --quiet --amino --thread 1 prot.fa > prot.mafft.fa
# Columns where a sequence has a gap become insert columns: lower case.
hmmbuild --amino --symfrac 1.0 -o /dev/null prot.hmm prot.mafft.fa > /dev/null
hmmalign --outformat A2M -o prot.a2m prot.hmm prot.fa > /dev/null
grep -q '[a-z]' prot.a2m || { echo "hmmalign wrote no insert letters"; fail=1; }

# 3. Trim; 4. read back what each format holds.
check() {  # protein alignment, format, Biopython's name for it
  local aln=$1 fmt=$2 bio=$3
  "$bin" -i "$aln" -r -f fasta > kept.fa 2> /dev/null
  if ! "$bin" -i "$aln" --cds cds.fa.gz -r -f "$fmt" > "out.$fmt" 2> err; then
    echo "$aln, $fmt: status $?"; cat err; fail=1; return
  fi
  "$py" - "out.$fmt" "$bio" kept.fa << 'EOF' || { echo "$aln, $fmt: translations differ"; fail=1; }
import sys
from Bio import AlignIO, SeqIO
kept = [str(r.seq).replace("-", "") for r in SeqIO.parse(sys.argv[3], "fasta")]
out = AlignIO.read(sys.argv[1], sys.argv[2])
bad = 0
for k, rec in zip(kept, out):
    got = str(rec.seq.replace("-", "").translate())
    if got != k:
        print(rec.id, got[:40], k[:40]); bad += 1
if len(kept) != len(out):
    bad += 1
sys.exit(1 if bad else 0)
EOF
}
for f in fasta:fasta phylip-relaxed:phylip-relaxed nexus:nexus clustal:clustal \
         phylip-strict:phylip paml:phylip-relaxed pir:pir; do
  check prot.mafft.fa "${f%%:*}" "${f#*:}"
done
check prot.a2m fasta fasta
# NEXUS says DNA, and counts nucleotide columns.
grep -q 'DATATYPE=DNA' out.nexus || { echo "nexus: not DNA"; fail=1; }
exit $fail
