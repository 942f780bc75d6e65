"""Simulated genes for the accuracy benchmark: a random tree and INDELible.

Everything random comes from one seed through Python's random.Random (the
tree, every gene's length, rates and model) and INDELible's [randomseed]
(the sequences), so the same parameters give the same files.

The species tree is a Yule tree (each lineage splits at rate 1) whose
branches are then stretched by independent log-normal factors (so the tree
has no clock), rescaled so that its deepest tip lies `depth` expected
substitutions from the root (per amino acid for proteins, per codon for
codons, as INDELible reads branch lengths).

Each gene gets its own length, its own rate factor (log-normal, sd 0.3; the
fast genes a further factor of `fast_factor`), its own indel rate (the
condition's rate times a log-normal factor, sd 0.5) and its own model:
LG with gamma rates (shape log-normal around 0.7) for proteins; for codons
M3 with three omega classes (purifying, weak, near-neutral) and a kappa
of 2 to 4. Indel lengths follow a power law (a = 1.8, at most 40 residues or
codons). Coding sequences get a stop codon appended, as real ones end.
"""

import math
import os
import subprocess

STOPS = ("TAA", "TAG", "TGA")


def taxon_names(ntaxa):
    width = max(2, len(str(ntaxa)))
    return [f"T{i:0{width}d}" for i in range(1, ntaxa + 1)]


class Node:
    __slots__ = ("children", "length", "name")

    def __init__(self, name=None):
        self.children = []
        self.length = 0.0
        self.name = name


def random_tree(rng, ntaxa, depth):
    """Returns the root of a rooted binary tree with ntaxa named leaves."""
    if ntaxa < 4:
        raise ValueError("at least 4 taxa are needed for an unrooted split")
    root = Node()
    tips = [Node(), Node()]
    root.children = tips[:]
    # Yule process: all living lineages grow by the waiting time, then a
    # random one splits in two.
    while True:
        wait = rng.expovariate(len(tips))
        for tip in tips:
            tip.length += wait
        if len(tips) == ntaxa:
            break
        parent = tips.pop(rng.randrange(len(tips)))
        pair = [Node(), Node()]
        parent.children = pair
        tips.extend(pair)
    # Names in a random order, so that name order says nothing of the shape.
    names = taxon_names(ntaxa)
    rng.shuffle(names)
    for tip, name in zip(tips, names):
        tip.name = name
    for node in walk(root):
        if node is not root:
            node.length *= rng.lognormvariate(0.0, 0.4)
    deepest = max(root_distances(root).values())
    for node in walk(root):
        node.length *= depth / deepest
    return root


def walk(root):
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        stack.extend(reversed(node.children))


def root_distances(root):
    out = {}
    stack = [(root, 0.0)]
    while stack:
        node, dist = stack.pop()
        if not node.children:
            out[node.name] = dist
        for child in node.children:
            stack.append((child, dist + child.length))
    return out


def newick(root, scale=1.0):
    def text(node):
        if not node.children:
            return f"{node.name}:{node.length * scale:.6f}"
        inner = ",".join(text(c) for c in node.children)
        return f"({inner}):{node.length * scale:.6f}"

    return "(" + ",".join(text(c) for c in root.children) + ");"


def gene_plans(rng, genes, seq_type, indel_rate, fast_share, fast_factor,
               min_len, max_len):
    """Returns one dict of parameters a gene."""
    nfast = round(genes * fast_share)
    fast = set(rng.sample(range(genes), nfast))
    plans = []
    for g in range(genes):
        plan = {
            "name": f"gene{g + 1:03d}",
            "length": rng.randint(min_len, max_len),
            "rate": rng.lognormvariate(0.0, 0.3) *
                    (fast_factor if g in fast else 1.0),
            "fast": g in fast,
            "indel_rate": indel_rate * rng.lognormvariate(0.0, 0.5),
        }
        if seq_type == "protein":
            plan["alpha"] = min(3.0, max(0.2, rng.lognormvariate(
                math.log(0.7), 0.4)))
        else:
            plan["kappa"] = rng.uniform(2.0, 4.0)
            plan["omegas"] = (rng.uniform(0.01, 0.05), rng.uniform(0.1, 0.3),
                              rng.uniform(0.6, 1.0))
        plan["stop"] = rng.choice(STOPS)
        plans.append(plan)
    return plans


def control_file(tree, plans, seq_type, indelible_seed):
    lines = []
    lines.append("[TYPE] AMINOACID 2" if seq_type == "protein" else
                 "[TYPE] CODON 1")
    lines += [
        "[SETTINGS]",
        f"  [randomseed] {indelible_seed}",
        "  [output] FASTA",
        "  [fastaextension] fas",
        "  [printrates] FALSE",
        "  [insertaslowercase] FALSE",
    ]
    for p in plans:
        lines.append(f"[MODEL] m_{p['name']}")
        if seq_type == "protein":
            lines.append("  [submodel] LG")
            lines.append(f"  [rates] 0 {p['alpha']:.4f} 0")
        else:
            w0, w1, w2 = p["omegas"]
            lines.append(f"  [submodel] {p['kappa']:.4f} 0.6 0.3 "
                         f"{w0:.4f} {w1:.4f} {w2:.4f}")
        lines.append("  [indelmodel] POW 1.8 40")
        lines.append(f"  [indelrate] {p['indel_rate']:.5f}")
    for p in plans:
        lines.append(f"[TREE] t_{p['name']} {newick(tree, p['rate'])}")
    for p in plans:
        lines.append(f"[PARTITIONS] p_{p['name']} "
                     f"[t_{p['name']} m_{p['name']} {p['length']}]")
    lines.append("[EVOLVE]")
    for p in plans:
        lines.append(f"  p_{p['name']} 1 {p['name']}")
    return "\n".join(lines) + "\n"


def read_fasta(path):
    records = []
    with open(path) as handle:
        for line in handle:
            line = line.strip()
            if not line:
                continue
            if line.startswith(">"):
                records.append([line[1:].strip(), []])
            else:
                records[-1][1].append(line)
    return [(name, "".join(parts)) for name, parts in records]


def write_fasta(path, records):
    with open(path, "w") as handle:
        for name, seq in records:
            handle.write(f">{name}\n{seq}\n")


def simulate(out_dir, seed, genes, ntaxa, depth, seq_type, indel_rate,
             fast_share, fast_factor=3.0, min_len=150, max_len=450):
    """Writes true.tre and one unaligned FASTA per gene into out_dir.

    Returns the list of gene names. INDELible runs in out_dir (it reads
    control.txt from its working folder).
    """
    import random

    rng = random.Random(f"colsieve-accuracy-{seed}")
    tree = random_tree(rng, ntaxa, depth)
    plans = gene_plans(rng, genes, seq_type, indel_rate, fast_share,
                       fast_factor, min_len, max_len)
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "true.tre"), "w") as handle:
        handle.write(newick(tree) + "\n")
    with open(os.path.join(out_dir, "control.txt"), "w") as handle:
        handle.write(control_file(tree, plans, seq_type,
                                  rng.randrange(1, 2**31 - 1)))
    with open(os.path.join(out_dir, "genes.tsv"), "w") as handle:
        keys = [k for k in plans[0] if k != "name"]
        handle.write("gene\t" + "\t".join(keys) + "\n")
        for p in plans:
            handle.write(p["name"] + "\t" + "\t".join(
                str(p[k]) for k in keys) + "\n")
    done = subprocess.run(["indelible"], cwd=out_dir, capture_output=True,
                          text=True)
    if done.returncode != 0 or "ERROR" in done.stdout:
        raise RuntimeError("indelible failed:\n" + done.stdout[-2000:] +
                           done.stderr[-2000:])
    names = []
    for p in plans:
        raw = read_fasta(os.path.join(out_dir, p["name"] + ".fas"))
        if len(raw) != ntaxa:
            raise RuntimeError(f"indelible wrote {len(raw)} sequences for "
                               f"{p['name']}, not {ntaxa}")
        records = []
        for name, seq in raw:
            seq = seq.replace("-", "").upper()
            if seq_type == "codon":
                seq += p["stop"]
            records.append((name, seq))
        write_fasta(os.path.join(out_dir, p["name"] + ".fa"), records)
        os.remove(os.path.join(out_dir, p["name"] + ".fas"))
        names.append(p["name"])
    return names
