#!/usr/bin/env bash
# colsieve's translation tables against Biopython's copy of NCBI's, for every
# table colsieve has (the list its --genetic-code error gives): each codon
# codes for Biopython's amino acid (a stop for '*'), every start codon of the
# table codes for M as the first codon, and the start and stop codons the
# messages list are Biopython's.
#
# usage: genetic_codes_test.sh COLSIEVE
set -u
bin=$(realpath "$1")
. "$(dirname "$0")/require_tool.sh"
py=/usr/bin/python3  # Debian's own, which python3-biopython serves
require_python "import Bio.Data.CodonTable" "Biopython (python3-biopython)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
"$py" - "$bin" << 'EOF'
import re, subprocess, sys
from Bio.Data import CodonTable

tool = sys.argv[1]


def run(proteins, cds, table):
    """colsieve on records name: protein and name: coding sequence."""
    with open("prot.fa", "w") as p, open("cds.fa", "w") as c:
        for name in proteins:
            p.write(">%s\n%s\n" % (name, proteins[name]))
            c.write(">%s\n%s\n" % (name, cds[name]))
    return subprocess.run([tool, "-i", "prot.fa", "--cds", "cds.fa",
                           "--genetic-code", str(table), "-f", "fasta"],
                          capture_output=True, text=True)


def listed(stderr, what, table):
    m = re.search(r"is not a %s codon of table %d \(([A-Z, ]+)\)" % (what, table),
                  stderr)
    return m.group(1).split(", ") if m else stderr


known = subprocess.run([tool, "--genetic-code", "999"], capture_output=True,
                       text=True).stderr
ranges = re.search(r"it has ([0-9, -]+)$", known.strip()).group(1)
ids = []
for r in ranges.split(", "):
    a, _, b = r.partition("-")
    ids += range(int(a), int(b or a) + 1)
assert len(ids) > 10, known

# CCC is P in every table, and a start in none.
bases = "TCAG"
codons = [x + y + z for x in bases for y in bases for z in bases]
bad = 0
for id in ids:
    t = CodonTable.unambiguous_dna_by_id[id]
    protein = "".join("*" if c in t.stop_codons else t.forward_table[c]
                      for c in codons)
    got = run({"a": protein}, {"a": "".join(codons)}, id)
    if got.returncode != 0:
        print("table %d: amino acids differ: %s" % (id, got.stderr)); bad += 1
    names = {"s%d" % k: s for k, s in enumerate(t.start_codons)}
    got = run({n: "MP" for n in names}, {n: s + "CCC" for n, s in names.items()},
              id)
    if got.returncode != 0:
        print("table %d: a start codon is refused: %s" % (id, got.stderr))
        bad += 1
    starts = listed(run({"a": "MP"}, {"a": "CCCCCC"}, id).stderr, "start", id)
    if starts != t.start_codons:
        print("table %d: start codons %s, Biopython's %s"
              % (id, starts, t.start_codons)); bad += 1
    stops = listed(run({"a": "P*"}, {"a": "CCCCCC"}, id).stderr, "stop", id)
    if stops != t.stop_codons:
        print("table %d: stop codons %s, Biopython's %s"
              % (id, stops, t.stop_codons)); bad += 1
print("%d tables compared" % len(ids))
sys.exit(1 if bad else 0)
EOF
