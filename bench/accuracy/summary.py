"""One table across conditions from the work folders of sweep.sh.

usage: summary.py SWEEP_DIR CONDITION...
For every setting benchmarked in the conditions' work folders: columns kept
and the change of mean nRF against the untrimmed alignments in each
condition, and whether it is never worse and better somewhere. A setting a
condition did not run (the codon options on proteins) shows "·" there and
is judged on the conditions it ran.
"""

import json
import os
import shlex
import sys


def load(work):
    """Returns (untrimmed row, {setting: row}) of one work folder."""
    with open(os.path.join(work, "aln", "row.json")) as handle:
        base = json.load(handle)
    rows = {}
    trim = os.path.join(work, "trim")
    for key in sorted(os.listdir(trim)):
        path = os.path.join(trim, key, "row.json")
        if os.path.exists(path):
            with open(path) as handle:
                row = json.load(handle)
            rows[row["setting"]] = row
    return base, rows


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    top, names = argv[1], argv[2:]
    data = {n: load(os.path.join(top, n)) for n in names}
    # Settings in the order the conditions' full tables list them (the
    # order sweep.sh gives), then any others.
    order = []
    for n in names:
        table = os.path.join(top, "tables", n + "-all.md")
        listed = []
        if os.path.exists(table):
            for line in open(table):
                if line.startswith("Command: "):
                    words = shlex.split(line[len("Command: "):])
                    if "--settings" in words:
                        listed = words[words.index("--settings") + 1]
                        listed = [x.strip() for x in listed.split(";")]
        for s in listed + sorted(data[n][1]):
            if s in data[n][1] and s not in order:
                order.append(s)
    head = "| setting | " + " | ".join(
        f"{n}: kept, ΔnRF (b/w)" for n in names) + " | never worse, better in |"
    lines = [head, "|---|" + "---|" * len(names) + "---|"]
    lines.append("| untrimmed | " + " | ".join(
        f"100 %, nRF {data[n][0]['mean']:.4f}" for n in names) + " | |")
    for s in order:
        cells = []
        worse = better = ran = 0
        for n in names:
            base, rows = data[n]
            if s not in rows:
                cells.append("·")
                continue
            r = rows[s]
            ran += 1
            delta = r["mean"] - base["mean"]
            # Means of the same genes' nRF: equal sums are equal means, but
            # sums in another order may differ in the last bit.
            if abs(delta) < 1e-12:
                delta = 0.0
            worse += delta > 0
            better += delta < 0
            cells.append(f"{r['kept']:.1f} %, {delta:+.4f} "
                         f"({r['better']}/{r['worse']})")
        verdict = ("yes, " + str(better) if worse == 0 and better else
                   "tied everywhere" if worse == 0 else f"no ({worse} worse)")
        label = "default (no option)" if s == "default" else f"`{s}`"
        lines.append(f"| {label} | " + " | ".join(cells) + f" | {verdict} |")
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
