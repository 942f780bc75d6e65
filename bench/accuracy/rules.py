"""Column rules tried outside colsieve, as settings named rule:NAME:ARGS.

The benchmark trims with these as it trims with colsieve's own settings, so
a rule can be judged before anyone writes it in C++. Each rule returns one
keep flag a column; its inputs are the alignment and colsieve's own column
scores at a scale of 1 (`colsieve -H -l`, the weighted fraction of sequences
with a residue, Henikoff weights with the gap as a class), so that what
wins here is a rule on the numbers colsieve already has. The oracle rule
also reads INDELible's true alignment: it shows how much any trimming could
gain, and no real data has it.

Rules:
  rule:oracle:X       drop the columns with 2 or more residues of which a
                      share below X of the residue pairs is truly aligned
  rule:band:LO:HI     drop the columns whose score s is in (LO, HI]: keep
                      the well-filled columns and the few-residue ones
                      (insertions of one clade), drop the half-filled ones
  rule:band-ends:LO:HI  band, and also the ragged ends that colsieve's
                      default selection would drop (--ends-only)
  rule:min-residues:K keep the columns where at least K sequences have a
                      residue (K = 4: a column with fewer residues cannot
                      set two taxa against two others)
  rule:min-weighted:K keep the columns whose weighted residue count
                      s * N (N sequences) is at least K
  rule:gappy-uninformative:S  drop the columns whose score s is below S
                      and that are not parsimony-informative (no two
                      residues each held by two sequences or more): the
                      mostly-gap columns that cannot group taxa
  rule:min-kept:F     colsieve's selection with its target lowered in the
                      same steps of 0.05 until a share F of the columns
                      passes (as it lowers it until 40 columns pass): at
                      most 1 - F of the columns go, the lowest scores first
"""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import column_truth  # noqa: E402
import simulate  # noqa: E402


def colsieve_map(colsieve, path, extra=(), scale_one=True):
    """Returns (scores, kept) of colsieve's column map for one alignment."""
    done = subprocess.run(
        [colsieve, "--threads", "1", *(["-H"] if scale_one else []), *extra, "-i", path, "-f", "fasta",
         "-o", os.devnull, "-l", "/dev/stdout"], capture_output=True,
        text=True)
    if done.returncode != 0:
        raise RuntimeError(f"colsieve on {path}: {done.stderr.strip()}")
    lines = done.stdout.splitlines()
    header = lines[0].split("\t")
    at_score, at_kept = header.index("score"), header.index("kept")
    scores, kept = [], []
    for line in lines[1:]:
        fields = line.split("\t")
        scores.append(float(fields[at_score]))
        kept.append(fields[at_kept] == "1")
    return scores, kept


def keep_flags(rule, work, gene, colsieve, records):
    parts = rule.split(":")
    name, args = parts[1], [float(a) for a in parts[2:]]
    path = os.path.join(work, "aln", gene + ".fa")
    if name == "oracle":
        (threshold,) = args
        true = column_truth.read_true(
            os.path.join(work, "sim", gene + "_TRUE.fas"))
        truth = column_truth.column_truth(records, true)
        return [n < 2 or right >= threshold * pairs
                for n, pairs, right in truth]
    if name in ("band", "band-ends"):
        lo, hi = args
        scores, _ = colsieve_map(colsieve, path)
        flags = [not lo < s <= hi for s in scores]
        if name == "band-ends":
            _, ends = colsieve_map(colsieve, path, ["--ends-only"])
            flags = [f and e for f, e in zip(flags, ends)]
        return flags
    if name == "min-residues":
        (k,) = args
        length = len(records[0][1])
        counts = [0] * length
        for _, seq in records:
            for i, ch in enumerate(seq):
                if ch != "-":
                    counts[i] += 1
        return [c >= k for c in counts]
    if name == "min-weighted":
        (k,) = args
        scores, _ = colsieve_map(colsieve, path)
        # The map prints six decimals; a count a hair under K is K.
        return [s * len(records) >= k - 1e-4 for s in scores]
    if name == "gappy-uninformative":
        (cut,) = args
        scores, _ = colsieve_map(colsieve, path)
        length = len(records[0][1])
        flags = []
        for i in range(length):
            if scores[i] >= cut:
                flags.append(True)
                continue
            counts = {}
            for _, seq in records:
                ch = seq[i].upper()
                if ch != "-":
                    counts[ch] = counts.get(ch, 0) + 1
            flags.append(sum(1 for n in counts.values() if n >= 2) >= 2)
        return flags
    if name == "min-kept":
        (share,) = args
        scores, _ = colsieve_map(colsieve, path, scale_one=False)
        want = min(len(scores), max(40, share * len(scores)))
        target = 0.85
        while True:
            flags = [s > target for s in scores]
            if sum(flags) >= want or target <= 0:
                return flags
            target -= 0.05
    raise ValueError(f"unknown rule {rule}")


def apply(rule, work, genes, colsieve, out):
    """Writes out/GENE.fa and out/maps/GENE.tsv for every gene."""
    for g in genes:
        records = simulate.read_fasta(os.path.join(work, "aln", g + ".fa"))
        flags = keep_flags(rule, work, g, colsieve, records)
        simulate.write_fasta(
            os.path.join(out, g + ".fa"),
            [(n, "".join(c for c, f in zip(s, flags) if f))
             for n, s in records])
        with open(os.path.join(out, "maps", g + ".tsv"), "w") as handle:
            handle.write("column\tkept\n")
            for i, f in enumerate(flags):
                handle.write(f"{i + 1}\t{int(f)}\n")
