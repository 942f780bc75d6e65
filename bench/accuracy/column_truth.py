"""How right is each aligned column? Compares MAFFT's columns with INDELible's.

For every column of a gene's alignment (work/aln/GENE.fa) it counts the
pairs of residues the column puts together and how many of those pairs the
true alignment (work/sim/GENE_TRUE.fas) also puts in one column. A column
whose share of right pairs is low is misaligned: the residues in it do not
descend from one ancestral residue.

usage: column_truth.py WORK_DIR [MAP_SETTING_KEY]
writes WORK_DIR/columns.tsv: gene, column (1-based), residues (sequences
with a residue), occupancy (residues / sequences), pairs, right pairs,
right share (empty below 2 residues) and, with a trim folder key, that
setting's score and kept verdict from its column map.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import simulate  # noqa: E402


def residue_columns(records):
    """Maps each sequence to the column of each of its residues, in order."""
    out = {}
    for name, seq in records:
        out[name] = [i for i, ch in enumerate(seq) if ch != "-"]
    return out


def column_truth(aln, true_aln):
    """Returns per column (residues, pairs, right pairs) of aln."""
    true_cols = residue_columns(true_aln)
    # The benchmark appends a stop codon to every coding sequence, which
    # INDELible never wrote: its three residues count as one more true
    # codon, the same for every sequence.
    width = len(true_aln[0][1])
    for name, seq in aln:
        extra = len(seq.replace("-", "")) - len(true_cols[name])
        if extra == 3:
            true_cols[name] = true_cols[name] + [width, width + 1, width + 2]
    length = len(aln[0][1])
    residues = [[] for _ in range(length)]  # (name, true column) a column
    for name, seq in aln:
        where = true_cols[name]
        k = 0
        for i, ch in enumerate(seq):
            if ch != "-":
                residues[i].append(where[k])
                k += 1
        if k != len(where):
            raise ValueError(f"{name}: {k} residues aligned, "
                             f"{len(where)} true")
    out = []
    for col in residues:
        n = len(col)
        pairs = n * (n - 1) // 2
        counts = {}
        for t in col:
            counts[t] = counts.get(t, 0) + 1
        right = sum(c * (c - 1) // 2 for c in counts.values())
        out.append((n, pairs, right))
    return out


def read_true(path):
    # INDELible pads names with blanks and may mark insertions in lower case.
    return [(n.strip(), s.upper())
            for n, s in simulate.read_fasta(path)]


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    work = argv[1]
    key = argv[2] if len(argv) == 3 else None
    import json

    genes = json.load(open(os.path.join(work, "genes.json")))
    with open(os.path.join(work, "columns.tsv"), "w") as out:
        out.write("gene\tcolumn\tresidues\toccupancy\tpairs\tright\t"
                  "right_share" + ("\tscore\tkept" if key else "") + "\n")
        for g in genes:
            aln = simulate.read_fasta(os.path.join(work, "aln", g + ".fa"))
            true = read_true(os.path.join(work, "sim", g + "_TRUE.fas"))
            rows = column_truth(aln, true)
            extra = None
            if key:
                with open(os.path.join(work, "trim", key, "maps",
                                       g + ".tsv")) as handle:
                    header = handle.readline().rstrip("\n").split("\t")
                    extra = [dict(zip(header, line.rstrip("\n").split("\t")))
                             for line in handle]
            for c, (n, pairs, right) in enumerate(rows):
                share = f"{right / pairs:.4f}" if pairs else ""
                line = (f"{g}\t{c + 1}\t{n}\t{n / len(aln):.4f}\t{pairs}\t"
                        f"{right}\t{share}")
                if extra:
                    line += f"\t{extra[c]['score']}\t{extra[c]['kept']}"
                out.write(line + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
