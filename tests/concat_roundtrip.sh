#!/usr/bin/env bash
# The supermatrix and its partitions read by the programs they are for, on
# the example genes (four genes of 22 to 32 gall wasps) and on a coding
# alignment cut in two genes, partitioned by codon position:
#   Biopython  a join of the trimmed genes written here (Bio.AlignIO, by
#              taxon, gaps for the missing) is colsieve's FASTA supermatrix
#              and its partitions byte for byte, and the PHYLIP and NEXUS
#              supermatrices read back to it
#   IQ-TREE    iqtree2 -s with -p and with -q (RAxML lines) and -p (NEXUS)
#              reads a partition for each gene or codon position, with the
#              columns it should have
#   RAxML      raxmlHPC -q reads the partitions by name, DNA each
#   MrBayes    executes the NEXUS supermatrix, then the partitions' mrbayes
#              block, and runs a few generations on them
#
# usage: concat_roundtrip.sh COLSIEVE REPO
# Exits 77 (skipped) when a program is missing, unless COLSIEVE_REQUIRE_ALL
# is set, as in CI.
set -u
bin=$1
repo=$2
. "$(dirname "$0")/require_tool.sh"
py=/usr/bin/python3  # Debian's own, which python3-biopython serves
require_tool iqtree2
require_tool raxmlHPC
require_tool mb
require_python "import Bio.AlignIO" "Biopython (python3-biopython)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
no() { echo "$*"; fail=1; }
runs() {  # log command...: runs quietly; on failure shows the log's end
  local log=$1
  shift
  "$@" > "$log" 2>&1 || { no "$1 failed:"; tail -n 5 "$log"; return 1; }
}

genes=("$repo"/examples/genes/*.fa)
# The coding alignment in two genes of whole codons, for the codon positions.
"$py" - "$repo/examples/H5N1_HA_5.fa" << 'EOF'
import sys
from Bio import SeqIO
recs = list(SeqIO.parse(sys.argv[1], "fasta"))
for name, lo, hi in [("ha1", 0, 999), ("ha2", 999, len(recs[0].seq))]:
    with open(name + ".fa", "w") as f:
        for r in recs:
            f.write(">%s\n%s\n" % (r.id, r.seq[lo:hi]))
EOF

for f in fasta phylip-relaxed nexus; do
  "$bin" -f "$f" --max-columns 0 --out-dir "t.$f" --concat "super.$f" \
    --partitions "parts.$f" "${genes[@]}" 2> "err.$f" || { no "$f: status $?"; cat "err.$f"; }
done
"$bin" -f nexus --max-columns 0 --out-dir t.nexus --concat super.nexus \
  --partitions parts.nex --partitions-format nexus "${genes[@]}" 2> /dev/null
"$bin" --codon -f phylip-relaxed --out-dir t.codon --concat super.codon \
  --partitions parts.codon --partition-by codon ha1.fa ha2.fa 2> err.codon ||
  { no "codon: status $?"; cat err.codon; }
"$bin" --codon -f fasta --out-dir t.codonfa --concat super.codonfa \
  --partitions parts.codonfa --partition-by codon ha1.fa ha2.fa 2> /dev/null

# The join made here: the trimmed genes as colsieve wrote them, by taxon.
"$py" - << 'EOF' || fail=1
import glob, sys
from Bio import AlignIO, SeqIO
from Bio.Align import MultipleSeqAlignment
from Bio.Seq import Seq
from Bio.SeqRecord import SeqRecord

def join(files, out, parts, codon=False):
    genes = [AlignIO.read(f, "fasta") for f in files]
    taxa = []
    for g in genes:
        for r in g:
            if r.id not in taxa:
                taxa.append(r.id)
    rows = {t: "" for t in taxa}
    lines, at = [], 1
    for f, g in zip(files, genes):
        width = g.get_alignment_length()
        have = {r.id: str(r.seq) for r in g}
        for t in taxa:
            rows[t] += have.get(t, "-" * width)
        name = f.split("/")[-1].rsplit(".", 1)[0]
        end = at + width - 1
        if codon:
            lines += ["DNA, %s_pos%d = %d-%d\\3\n" % (name, k + 1, at + k, end)
                      for k in range(3)]
        else:
            lines.append("DNA, %s = %d-%d\n" % (name, at, end))
        at = end + 1
    recs = [SeqRecord(Seq(rows[t]), id=t, description="") for t in taxa]
    SeqIO.write(recs, out, "fasta")
    open(parts, "w").write("".join(lines))
    return MultipleSeqAlignment(recs)

bad = 0
want = join(sorted(glob.glob("t.fasta/*.fa")), "join.fa", "join.parts")
join(["t.codonfa/ha1.fa", "t.codonfa/ha2.fa"], "join.codon.fa",
     "join.codon.parts", codon=True)
# The PHYLIP and NEXUS supermatrices hold the same rows.
for f, fmt in [("super.phylip-relaxed", "phylip-relaxed"), ("super.nexus", "nexus")]:
    got = AlignIO.read(f, fmt)
    if [(r.id, str(r.seq)) for r in got] != [(r.id, str(r.seq)) for r in want]:
        print(f + ": Biopython reads other rows than the join")
        bad = 1
sys.exit(bad)
EOF
for pair in "join.fa super.fasta" "join.parts parts.fasta" "join.codon.fa super.codonfa" \
            "join.codon.parts parts.codonfa"; do
  # shellcheck disable=SC2086
  set -- $pair
  cmp -s "$1" "$2" || { no "$2 is not the join made with Biopython ($1)"; diff "$1" "$2" | head -5; }
done
cmp -s parts.phylip-relaxed parts.fasta || no "the partitions depend on the format"

# IQ-TREE: the partitions it read, by name and by their count of sites.
iq() {  # prefix, then iqtree2's arguments
  local pre=$1
  shift
  runs "iq.$pre.out" iqtree2 "$@" -m GTR -fast -seed 1 -nt 1 -redo -quiet -pre "iq.$pre" || return
  grep -q "^Reading partition model file" "iq.$pre.log" || no "iqtree2 $*: no partition file read"
  # The table of partitions in its report: "ID Name Type Seq Site ...",
  # Seq counting the taxa that are not missing.
  awk '/^  ID  Name +Type/ { on = 1; next } on && NF == 0 { exit } on { print $2, $5 }' \
    "iq.$pre.iqtree" > "iq.$pre.sites"
  awk '/^  ID  Name +Type/ { on = 1; next } on && NF == 0 { exit } on { print $4 }' \
    "iq.$pre.iqtree" > "iq.$pre.seqs"
}
widths() {  # partitions file: "name sites" a line, as IQ-TREE counts them
  sed -E 's/^[A-Z]+, //; s/ = / /' "$1" | awk '{ split($2, r, "[-\\\\]"); n = r[2] - r[1] + 1
    if (r[3] != "") n = int((r[2] - r[1]) / r[3]) + 1; print $1, n }'
}
widths parts.phylip-relaxed > want.sites
widths parts.codon > want.codon.sites
iq p -s super.phylip-relaxed -p parts.phylip-relaxed && cmp -s want.sites iq.p.sites ||
  { no "iqtree2 -p: partitions"; cat iq.p.sites; }
iq q -s super.phylip-relaxed -q parts.phylip-relaxed && cmp -s want.sites iq.q.sites ||
  { no "iqtree2 -q: partitions"; cat iq.q.sites; }
iq n -s super.nexus -p parts.nex && cmp -s want.sites iq.n.sites ||
  { no "iqtree2 -p NEXUS: partitions"; cat iq.n.sites; }
iq c -s super.codon -q parts.codon && cmp -s want.codon.sites iq.c.sites ||
  { no "iqtree2 -q codon positions: partitions"; cat iq.c.sites; }
# Each gene's taxa, and no taxon it misses.
for g in t.phylip-relaxed/*.phy; do head -n 1 "$g" | cut -d' ' -f1; done > want.seqs
cmp -s want.seqs iq.p.seqs || { no "iqtree2: the taxa of each gene"; cat iq.p.seqs; }
grep -m 1 "^Reading partition model file" iq.p.log

# RAxML: a partition of each name, DNA each (-y: the parsimony tree, which
# reads the data and the partitions as a search does).
for run in "p phylip-relaxed" "c codon"; do
  # shellcheck disable=SC2086
  set -- $run
  runs "rx.$1.out" raxmlHPC -y -s "super.$2" -q "parts.$2" -n "rx$1" -m GTRCAT -p 1 -w "$work" || continue
  got=$(sed -n 's/^Partition: [0-9]* with name: //p' "RAxML_info.rx$1")
  want=$(sed -E 's/^DNA, //; s/ = .*//' "parts.$2")
  [ "$got" = "$want" ] || no "raxmlHPC read the partitions of $2 as:" $got
  [ "$(grep -c '^DataType: DNA' "RAxML_info.rx$1")" = "$(wc -l < "parts.$2")" ] ||
    no "raxmlHPC: not DNA in every partition of $2"
done

# MrBayes: the matrix, then the mrbayes block of the partitions.
printf '#NEXUS\nbegin mrbayes;\n  set autoclose=yes nowarn=yes seed=1 swapseed=1;\n  execute super.nexus;\n  execute parts.nex;\n  mcmc ngen=100 nruns=1 nchains=1 samplefreq=10 printfreq=100 diagnfreq=100;\n  quit;\nend;\n' > run.nex
if runs mb.log mb run.nex < /dev/null; then
  grep -q 'Setting colsieve as the partition, dividing characters into 4 parts' mb.log ||
    no "MrBayes did not take the partition"
  [ "$(grep -c "Defining charset called" mb.log)" = 4 ] || no "MrBayes: not four charsets"
fi
exit $fail
