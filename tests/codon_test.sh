#!/usr/bin/env bash
# Coding sequences trimmed in whole codons, read as Biopython reads them:
# every row of `--codon -r` output on the codon alignment in examples/
# translates without a partial codon, and its translation is that of the
# kept codons of the input row (a terminal stop codon masked to gaps).
#
# usage: codon_test.sh COLSIEVE REPO
set -u
bin=$1
repo=$2
. "$(dirname "$0")/require_tool.sh"
py=/usr/bin/python3  # Debian's own, which python3-biopython serves
require_python "import Bio.Seq" "Biopython (python3-biopython)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
input=$repo/examples/H5N1_HA_5.fa
for stops in none terminal; do
  args=(-i "$input" --codon -r -f fasta -l map.tsv)
  [ "$stops" = none ] || args+=(--mask-stops "$stops")
  "$bin" "${args[@]}" > out.fa 2> err || { echo "status $?"; cat err; exit 1; }
  "$py" - "$input" out.fa map.tsv << 'EOF' || { echo "--mask-stops $stops: translations differ"; exit 1; }
import sys, warnings
from Bio import BiopythonWarning, SeqIO
from Bio.Seq import Seq
warnings.simplefilter("error", BiopythonWarning)  # a partial codon fails
inp = {r.id: str(r.seq) for r in SeqIO.parse(sys.argv[1], "fasta")}
rows = [l.split("\t") for l in open(sys.argv[3]).read().splitlines()[1:]]
kept = [j for j in range(0, len(rows), 3) if rows[j][2] == "1"]
bad = 0
for rec in SeqIO.parse(sys.argv[2], "fasta"):
    out = str(rec.seq)
    want = []
    for k, j in enumerate(kept):
        a, b = inp[rec.id][j:j + 3], out[3 * k:3 * k + 3]
        if b == "---" and a != "---":  # masked: it must have been a stop
            assert str(Seq(a).translate()) == "*", (rec.id, k, a)
            continue
        assert a == b, (rec.id, k, a, b)
        if a != "---":
            want.append(str(Seq(a).translate()))
    got = str(Seq(out.replace("-", "")).translate())
    if got != "".join(want):
        print(rec.id, "translation differs"); bad += 1
sys.exit(1 if bad else 0)
EOF
done
