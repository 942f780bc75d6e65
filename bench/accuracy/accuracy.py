"""Accuracy benchmark: does trimming with colsieve make gene trees better?

Simulates genes along a random tree (simulate.py, INDELible), strips the
gaps, aligns each gene with MAFFT, trims the alignments with colsieve under
each setting, infers a tree per gene and one from the concatenated genes
with IQ-TREE 2, and prints one table comparing every setting with the
untrimmed alignments by normalised Robinson-Foulds distance (nrf.py) to the
true tree. bench/accuracy/run.sh is the way in; see --help.

Everything but the times is a function of the parameters: the seed drives
the tree, the genes and INDELible, MAFFT and IQ-TREE (one thread, fixed
-seed) are deterministic, so a second run prints the same table. Work files
live in the work folder (--out), never in the repository; a second run in
the same folder reuses the simulation, the alignments and every tree
already inferred for the same alignment bytes.
"""

import argparse
import concurrent.futures
import hashlib
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import nrf  # noqa: E402
import simulate  # noqa: E402

UNTRIMMED = "untrimmed"
DEFAULT_SETTINGS = {
    "protein": ["default", "-t 0.5", "-c 0", "--ends-only"],
    "codon": ["default", "--codon", "--codon -t 0.5", "--codon -c 0"],
}
MODELS = {"protein": "LG+G4", "codon": "GTR+G4"}


class BenchError(Exception):
    """A step failed; the message says which and why."""


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="bench/accuracy/run.sh",
        description="Simulate genes, align, trim with colsieve under each "
        "setting, infer trees and compare them with the true tree.",
        formatter_class=argparse.ArgumentDefaultsHelpFormatter)
    p.add_argument("--genes", type=int, default=40, help="genes to simulate")
    p.add_argument("--taxa", type=int, default=24, help="taxa in the tree")
    p.add_argument("--depth", type=float, default=1.0,
                   help="root to deepest tip, in expected substitutions per "
                   "amino acid (protein) or per codon (codon)")
    p.add_argument("--indel-rate", type=float, default=0.03,
                   help="INDELible's [indelrate] (insertions and deletions "
                   "each at this rate relative to substitutions), varied "
                   "gene by gene around it")
    p.add_argument("--fast-share", type=float, default=0.2,
                   help="share of genes evolving --fast-factor times faster")
    p.add_argument("--fast-factor", type=float, default=3.0)
    p.add_argument("--type", choices=["protein", "codon"], default="protein",
                   help="protein: amino acids, LG+G4 trees; codon: coding "
                   "sequences aligned as DNA, GTR+G4 trees")
    p.add_argument("--min-len", type=int, default=150,
                   help="shortest root sequence, residues or codons")
    p.add_argument("--max-len", type=int, default=450,
                   help="longest root sequence, residues or codons")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--settings", default=None,
                   help="colsieve settings separated by ';', each an "
                   "argument string ('default' is no option); the untrimmed "
                   "alignments are always compared. Default: "
                   + " | ".join(f"{k}: {';'.join(v)}"
                                for k, v in DEFAULT_SETTINGS.items()))
    p.add_argument("-s", "--setting", action="append", default=[],
                   help="one more setting (repeatable; added after "
                   "--settings)")
    p.add_argument("--mafft", default="--auto",
                   help="MAFFT's options (--quiet --thread 1 are added)")
    p.add_argument("--codon-align", choices=["protein", "dna"],
                   default="protein",
                   help="codon: align the translated proteins and put the "
                   "codons under them (protein), or align the coding "
                   "sequences as DNA (dna; padded with gap columns to whole "
                   "codons)")
    p.add_argument("--jobs", type=int, default=2,
                   help="programs run at once (each on one thread)")
    p.add_argument("--out", default=None,
                   help="work folder (default: $TMPDIR/colsieve-accuracy/"
                   "CONDITION)")
    p.add_argument("--colsieve", default=None,
                   help="colsieve binary (default: $COLSIEVE, else the "
                   "repository's build/release, build/rel or build, else "
                   "PATH)")
    p.add_argument("--no-concat", action="store_true",
                   help="skip the concatenated trees")
    p.add_argument("--table", default=None,
                   help="also write the table (Markdown) to this file")
    p.add_argument("--smoke", action="store_true",
                   help="a run of about a minute that checks the whole "
                   "pipeline (4 protein and 4 codon genes, 8 taxa, 2 "
                   "settings each) and exits 1 if anything breaks")
    p.add_argument("--keep", action="store_true",
                   help="with --smoke, keep its work folder")
    args = p.parse_args(argv)
    if args.genes < 1 or args.taxa < 4 or args.jobs < 1:
        p.error("need --genes >= 1, --taxa >= 4 and --jobs >= 1")
    if not 0 <= args.fast_share <= 1:
        p.error("--fast-share must be between 0 and 1")
    if args.depth <= 0 or args.indel_rate < 0:
        p.error("--depth must be above 0 and --indel-rate not below 0")
    if not 1 <= args.min_len <= args.max_len:
        p.error("need 1 <= --min-len <= --max-len")
    return args


def settings_of(args):
    if args.settings is None and not args.setting:
        chosen = list(DEFAULT_SETTINGS[args.type])
    else:
        chosen = []
        if args.settings is not None:
            chosen += [s.strip() for s in args.settings.split(";")]
        chosen += [s.strip() for s in args.setting]
        chosen = [s for s in chosen if s]
    out = []
    for s in chosen:
        if s != UNTRIMMED and s not in out:
            out.append(s)
    return out


def setting_argv(setting):
    if setting == "default" or setting.startswith("rule:"):
        return []
    return shlex.split(setting)


def find_colsieve(given):
    if given:
        candidates = [given]
    elif os.environ.get("COLSIEVE"):
        candidates = [os.environ["COLSIEVE"]]
    else:
        repo = os.path.dirname(os.path.dirname(HERE))
        candidates = [os.path.join(repo, "build", d, "colsieve")
                      for d in ("release", "rel")]
        candidates.append(os.path.join(repo, "build", "colsieve"))
        on_path = shutil.which("colsieve")
        if on_path:
            candidates.append(on_path)
    for c in candidates:
        if os.path.isfile(c) and os.access(c, os.X_OK):
            return os.path.abspath(c)
    raise BenchError("no colsieve binary (tried " + ", ".join(candidates) +
                     "); build it or pass --colsieve")


def check_tools():
    missing = [t for t in ("indelible", "mafft", "iqtree2")
               if shutil.which(t) is None]
    if missing:
        raise BenchError("missing " + ", ".join(missing) + " (Debian: "
                         "sudo apt-get install indelible mafft iqtree)")


def condition_of(args):
    return {
        "type": args.type, "genes": args.genes, "taxa": args.taxa,
        "depth": args.depth, "indel_rate": args.indel_rate,
        "fast_share": args.fast_share, "fast_factor": args.fast_factor,
        "min_len": args.min_len, "max_len": args.max_len,
        "seed": args.seed, "mafft": args.mafft,
        "codon_align": args.codon_align if args.type == "codon" else None,
    }


def condition_name(c):
    return (f"{c['type']}-g{c['genes']}-n{c['taxa']}-d{c['depth']:g}"
            f"-i{c['indel_rate']:g}-f{c['fast_share']:g}-s{c['seed']}")


def run(cmd, what, cwd=None):
    done = subprocess.run(cmd, cwd=cwd, capture_output=True)
    if done.returncode != 0:
        tail = (done.stderr or done.stdout).decode(errors="replace")[-1500:]
        raise BenchError(f"{what} failed (status {done.returncode}): "
                         f"{shlex.join(cmd)}\n{tail}")
    return done


def parallel(jobs, fn, items):
    """Runs fn on every item, jobs at a time; returns results in order."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        futures = [pool.submit(fn, item) for item in items]
        try:
            return [f.result() for f in futures]
        except BaseException:
            for f in futures:
                f.cancel()
            raise


def prepare(work, cond, jobs):
    """Simulates and aligns unless the work folder already holds it."""
    marker = os.path.join(work, "condition.json")
    if os.path.exists(marker):
        with open(marker) as handle:
            old = json.load(handle)
        if old != cond:
            raise BenchError(f"{work} holds another condition ({old}); "
                             "give another --out or remove it")
        with open(os.path.join(work, "genes.json")) as handle:
            return json.load(handle)
    for sub in ("sim", "aln", "aln_prot"):
        shutil.rmtree(os.path.join(work, sub), ignore_errors=True)
    sim = os.path.join(work, "sim")
    genes = simulate.simulate(sim, cond["seed"], cond["genes"], cond["taxa"],
                              cond["depth"], cond["type"], cond["indel_rate"],
                              cond["fast_share"], cond["fast_factor"],
                              cond["min_len"], cond["max_len"])
    os.makedirs(os.path.join(work, "aln"), exist_ok=True)
    if cond["type"] == "codon" and cond["codon_align"] == "protein":
        os.makedirs(os.path.join(work, "aln_prot"), exist_ok=True)

    def mafft(path, what):
        cmd = (["mafft"] + shlex.split(cond["mafft"]) +
               ["--quiet", "--thread", "1", path])
        records = parse_fasta_text(run(cmd, what).stdout.decode())
        if len(records) != cond["taxa"]:
            raise BenchError(f"{what} wrote {len(records)} records")
        # MAFFT writes nucleotides in lower case; upper case keeps every
        # residue a residue for colsieve and IQ-TREE alike.
        return [(n, s.upper()) for n, s in records]

    def align(gene):
        cds_path = os.path.join(sim, gene + ".fa")
        out_path = os.path.join(work, "aln", gene + ".fa")
        if cond["type"] == "protein" or cond["codon_align"] == "dna":
            records = mafft(cds_path, f"mafft on {gene}")
            if cond["type"] == "codon" and len(records[0][1]) % 3:
                # A DNA alignment need not be whole codons; gap columns at
                # the end make it so, and every setting drops them.
                pad = "-" * (3 - len(records[0][1]) % 3)
                records = [(n, s + pad) for n, s in records]
            simulate.write_fasta(out_path, records)
            return
        # Codons by way of their proteins: align the translations, then put
        # each codon under its amino acid. The stop codon ends every
        # sequence and becomes the last codon column.
        cds = simulate.read_fasta(cds_path)
        prot_in = os.path.join(work, "aln_prot", gene + ".in.fa")
        simulate.write_fasta(prot_in, [(n, translate(s[:-3])) for n, s in cds])
        prot = mafft(prot_in, f"mafft on the proteins of {gene}")
        os.remove(prot_in)
        simulate.write_fasta(os.path.join(work, "aln_prot", gene + ".fa"),
                             prot)
        by_name = dict(cds)
        codons = []
        for name, aligned in prot:
            seq = by_name[name]
            parts = []
            at = 0
            for ch in aligned:
                if ch == "-":
                    parts.append("---")
                else:
                    parts.append(seq[at:at + 3])
                    at += 3
            if at != len(seq) - 3:
                raise BenchError(f"{gene}: protein of {name} does not match "
                                 "its coding sequence")
            parts.append(seq[at:])
            codons.append((name, "".join(parts)))
        simulate.write_fasta(out_path, codons)

    parallel(jobs, align, genes)
    with open(os.path.join(work, "genes.json"), "w") as handle:
        json.dump(genes, handle)
    with open(marker, "w") as handle:
        json.dump(cond, handle)
    return genes


def read_seqs(path):
    return simulate.read_fasta(path)


def parse_fasta_text(text):
    records = []
    name = None
    parts = []
    for line in text.splitlines():
        if line.startswith(">"):
            if name is not None:
                records.append((name, "".join(parts)))
            name, parts = line[1:].strip(), []
        elif line.strip():
            parts.append(line.strip())
    if name is not None:
        records.append((name, "".join(parts)))
    return records


def translate(cds):
    from Bio.Seq import Seq

    protein = str(Seq(cds).translate())
    if "*" in protein:
        raise BenchError("a simulated coding sequence has an internal stop")
    return protein


def uses_cds(setting):
    return "--cds" in setting_argv(setting)


def trim(colsieve, work, setting, genes, cond):
    """Trims every gene; returns (folder, seconds of colsieve's runs).

    A setting with --cds trims each gene's protein alignment and writes its
    codons (the script puts the gene's coding sequences after --cds), one
    run a gene; every other setting is one batch run over all genes.
    """
    key = hashlib.sha256(setting.encode()).hexdigest()[:12]
    out = os.path.join(work, "trim", key)
    maps = os.path.join(out, "maps")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(maps)
    with open(os.path.join(out, "setting.txt"), "w") as handle:
        handle.write(setting + "\n")
    if setting.startswith("rule:"):
        import rules

        try:
            rules.apply(setting, work, genes, colsieve, out)
        except (RuntimeError, ValueError) as e:
            raise BenchError(f"{setting}: {e}")
        return out, None
    if uses_cds(setting):
        if cond["type"] != "codon" or cond["codon_align"] != "protein":
            raise BenchError(f"setting '{setting}' needs --type codon with "
                             "--codon-align protein")
        seconds = 0.0
        for g in genes:
            argv = []
            for a in setting_argv(setting):
                argv.append(a)
                if a == "--cds":
                    argv.append(os.path.join(work, "sim", g + ".fa"))
            cmd = ([colsieve, "--threads", "1"] + argv +
                   ["-i", os.path.join(work, "aln_prot", g + ".fa"),
                    "-f", "fasta"])
            start = time.perf_counter()
            run(cmd + ["-o", os.path.join(out, g + ".fa")],
                f"colsieve {setting} on {g}")
            seconds += time.perf_counter() - start
            run(cmd + ["-o", os.devnull, "-l",
                       os.path.join(maps, g + ".prot.tsv")],
                f"colsieve {setting} -l on {g}")
            # The map is the protein's: a protein column's verdict holds
            # for its three codon columns; the stop codon column, which
            # has no protein column, is never written.
            flags = read_map(os.path.join(maps, g + ".prot.tsv"))
            with open(os.path.join(maps, g + ".tsv"), "w") as handle:
                handle.write("column\tkept\n")
                column = 0
                for f in [x for x in flags for _ in range(3)] + [False] * 3:
                    column += 1
                    handle.write(f"{column}\t{int(f)}\n")
        return out, seconds
    inputs = [os.path.join(work, "aln", g + ".fa") for g in genes]
    base = [colsieve, "--threads", "1"] + setting_argv(setting)
    cmd = base + ["-f", "fasta", "--out-dir", out, "--out-name",
                  "{stem}.fa"] + inputs
    start = time.perf_counter()
    run(cmd, f"colsieve {setting}")
    seconds = time.perf_counter() - start
    # The column maps come from a second, untimed run, so that the time is
    # the setting's alone.
    run(base + ["-f", "fasta", "--out-dir", os.path.join(maps, "aln"),
                "-l", os.path.join(maps, "{stem}.tsv")] + inputs,
        f"colsieve {setting} -l")
    shutil.rmtree(os.path.join(maps, "aln"))
    return out, seconds


def read_map(path):
    kept = []
    with open(path) as handle:
        header = handle.readline().rstrip("\n").split("\t")
        at = header.index("kept")
        for line in handle:
            kept.append(line.rstrip("\n").split("\t")[at] == "1")
    return kept


def gappy_columns(records):
    """Flags the columns where more than half of the sequences have a gap."""
    n = len(records)
    length = len(records[0][1])
    gaps = [0] * length
    for _, seq in records:
        for i, ch in enumerate(seq):
            if ch == "-":
                gaps[i] += 1
    return [g * 2 > n for g in gaps]


def tree_key(alignment_path, model, seed):
    with open(alignment_path, "rb") as handle:
        data = handle.read()
    return hashlib.sha256(
        f"{model}|{seed}|-fast\n".encode() + data).hexdigest()[:20]


def tree_for(work, alignment_path, key, model, seed):
    """Infers (or finds in the cache) the IQ-TREE tree of an alignment.

    Sequences that trimming left with gaps only are left out (IQ-TREE
    refuses them); the tree then has the other taxa only, and fewer than 4
    give no tree at all (a file holding "-").
    """
    cache = os.path.join(work, "trees", key + ".treefile")
    if os.path.exists(cache):
        return cache
    tmp = tempfile.mkdtemp(dir=os.path.join(work, "trees"), prefix="run-")
    try:
        records = read_seqs(alignment_path)
        present = [(n, s) for n, s in records if s.strip("-")]
        if len(present) < 4:
            with open(os.path.join(tmp, "t.treefile"), "w") as handle:
                handle.write("-\n")
        else:
            source = alignment_path
            if len(present) < len(records):
                source = os.path.join(tmp, "present.fa")
                simulate.write_fasta(source, present)
            run(["iqtree2", "-s", source, "-m", model, "-fast", "-nt", "1",
                 "-seed", str(seed), "-pre", os.path.join(tmp, "t"),
                 "-quiet", "-redo"], f"iqtree2 on {alignment_path}")
        os.replace(os.path.join(tmp, "t.treefile"), cache)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return cache


def concatenate(paths, out_path):
    by_name = {}
    order = []
    for path in paths:
        for name, seq in read_seqs(path):
            if name not in by_name:
                by_name[name] = []
                order.append(name)
            by_name[name].append(seq)
    simulate.write_fasta(out_path, [(n, "".join(by_name[n])) for n in order])


def wilcoxon_p(xs, ys):
    """Two-sided signed-rank p of paired samples; 1 when all pairs tie."""
    import warnings

    from scipy import stats

    if all(x == y for x, y in zip(xs, ys)):
        return 1.0
    with warnings.catch_warnings():
        # Ties and zero differences make SciPy use the normal approximation
        # and say so; that is expected here.
        warnings.simplefilter("ignore")
        return float(stats.wilcoxon(xs, ys).pvalue)


def benchmark(args, cond, settings, work, colsieve, quiet=False):
    """Runs one condition; returns (rows, table text)."""

    def say(msg):
        if not quiet:
            print(msg, file=sys.stderr, flush=True)

    os.makedirs(work, exist_ok=True)
    say(f"[accuracy] work folder {work}")
    genes = prepare(work, cond, args.jobs)
    os.makedirs(os.path.join(work, "trees"), exist_ok=True)
    true_tree = nrf.read_newick(open(os.path.join(work, "sim",
                                                  "true.tre")).read())
    model = MODELS[cond["type"]]
    seed = cond["seed"]

    # Columns of every alignment and the columns that are mostly gaps.
    totals = {}
    gappy = {}
    for g in genes:
        records = read_seqs(os.path.join(work, "aln", g + ".fa"))
        totals[g] = len(records[0][1])
        gappy[g] = gappy_columns(records)

    entries = [(UNTRIMMED, os.path.join(work, "aln"), None)]
    for s in settings:
        say(f"[accuracy] colsieve {s}")
        folder, seconds = trim(colsieve, work, s, genes, cond)
        entries.append((s, folder, seconds))

    jobs = []
    for label, folder, _ in entries:
        for g in genes:
            jobs.append(os.path.join(folder, g + ".fa"))
    concat_paths = []
    if not args.no_concat:
        os.makedirs(os.path.join(work, "concat"), exist_ok=True)
        for i, (label, folder, _) in enumerate(entries):
            path = os.path.join(work, "concat", f"{i:02d}.fa")
            concatenate([os.path.join(folder, g + ".fa") for g in genes],
                        path)
            concat_paths.append(path)
    # Settings that write the same bytes share one tree, inferred once.
    key_of = {p: tree_key(p, model, seed) for p in concat_paths + jobs}
    todo = {}
    for p in concat_paths + jobs:  # the long concatenated runs first
        if key_of[p] not in todo and not os.path.exists(
                os.path.join(work, "trees", key_of[p] + ".treefile")):
            todo[key_of[p]] = p
    say(f"[accuracy] {len(jobs)} gene trees and {len(concat_paths)} "
        f"concatenated trees, {len(todo)} not yet inferred ({args.jobs} at "
        "a time)")
    parallel(args.jobs, lambda k: tree_for(work, todo[k], k, model, seed),
             list(todo))
    tree_of = {p: os.path.join(work, "trees", key_of[p] + ".treefile")
               for p in key_of}

    ntaxa = cond["taxa"]
    partial = {}

    def distance(path):
        text = open(tree_of[path]).read().strip()
        if text == "-":  # fewer than 4 taxa left: no split found
            partial[path] = 0
            return 1.0
        tree = nrf.read_newick(text)
        if len(tree.get_terminals()) < ntaxa:
            partial[path] = len(tree.get_terminals())
            return nrf.nrf_on_subset(true_tree, tree)
        return nrf.nrf(true_tree, tree)

    per_gene = {}
    rows = []
    base = None
    for i, (label, folder, seconds) in enumerate(entries):
        scores = [distance(os.path.join(folder, g + ".fa")) for g in genes]
        per_gene[label] = scores
        kept = 0
        gappy_total = sum(sum(gappy[g]) for g in genes)
        gappy_removed = 0
        if label == UNTRIMMED:
            kept = sum(totals.values())
        else:
            for g in genes:
                flags = read_map(os.path.join(folder, "maps", g + ".tsv"))
                if len(flags) != totals[g]:
                    raise BenchError(f"column map of {g} under {label} has "
                                     f"{len(flags)} columns, not {totals[g]}")
                got = len(read_seqs(os.path.join(folder, g + ".fa"))[0][1])
                if got != sum(flags):
                    raise BenchError(f"{g} under {label}: {got} columns "
                                     f"written, {sum(flags)} marked kept")
                kept += got
                gappy_removed += sum(1 for k, gp in zip(flags, gappy[g])
                                     if gp and not k)
        row = {
            "setting": label,
            "kept": 100.0 * kept / sum(totals.values()),
            "gappy_removed": (100.0 * gappy_removed / gappy_total
                              if gappy_total else 0.0),
            "mean": statistics.fmean(scores),
            "median": statistics.median(scores),
            "seconds": seconds,
            "concat": distance(concat_paths[i]) if concat_paths else None,
            "partial": sum(1 for g in genes
                           if os.path.join(folder, g + ".fa") in partial),
        }
        if base is None:
            base = scores
        else:
            row["better"] = sum(1 for a, b in zip(scores, base) if a < b)
            row["worse"] = sum(1 for a, b in zip(scores, base) if a > b)
            row["tied"] = len(genes) - row["better"] - row["worse"]
            row["p"] = wilcoxon_p(scores, base)
        rows.append(row)
        # Each setting's row and per-gene distances stay in its folder, for
        # summaries across runs (summary.py).
        where = folder if label != UNTRIMMED else os.path.join(work, "aln")
        with open(os.path.join(where, "row.json"), "w") as handle:
            json.dump(dict(row, per_gene=dict(zip(genes, scores))), handle)

    with open(os.path.join(work, "per_gene.tsv"), "w") as handle:
        labels = [e[0] for e in entries]
        handle.write("gene\t" + "\t".join(labels) + "\n")
        for k, g in enumerate(genes):
            handle.write(g + "\t" + "\t".join(
                f"{per_gene[lb][k]:.6f}" for lb in labels) + "\n")
    with open(os.path.join(work, "rows.json"), "w") as handle:
        json.dump(rows, handle, indent=1)
    share = 100.0 * sum(sum(gappy[g]) for g in genes) / sum(totals.values())
    notes = (f"\nThe untrimmed alignments have {sum(totals.values())} "
             f"columns, {share:.1f} % of them gappy.\n")
    for r in rows:
        if r["partial"]:
            notes += (f"{r['setting']}: {r['partial']} gene alignments had "
                      "sequences with gaps only, left out of their trees "
                      "(nRF against the true tree pruned to the taxa left; "
                      "1 when fewer than 4 were left).\n")
    return rows, format_table(rows, cond) + notes


def format_table(rows, cond):
    head = ("| setting | columns kept | gappy columns removed | mean nRF | "
            "median nRF | better / worse / tied | Wilcoxon p | "
            "concatenated nRF | trimming time |")
    lines = [head, "|" + "---|" * 9]
    for r in rows:
        label = "untrimmed" if r["setting"] == UNTRIMMED else (
            f"`{r['setting']}`" if r["setting"] != "default" else
            "default (no option)")
        if "better" in r:
            paired = f"{r['better']} / {r['worse']} / {r['tied']}"
            p = f"{r['p']:.2g}"
        else:
            paired = p = "–"
        concat = f"{r['concat']:.3f}" if r["concat"] is not None else "–"
        secs = f"{r['seconds']:.3f} s" if r["seconds"] is not None else "–"
        lines.append(f"| {label} | {r['kept']:.1f} % | "
                     f"{r['gappy_removed']:.1f} % | {r['mean']:.4f} | "
                     f"{r['median']:.3f} | {paired} | {p} | {concat} | "
                     f"{secs} |")
    return "\n".join(lines) + "\n"


def describe(cond):
    return (f"{cond['type']}: {cond['genes']} genes, {cond['taxa']} taxa, "
            f"depth {cond['depth']:g}, indel rate {cond['indel_rate']:g}, "
            f"{cond['fast_share'] * 100:g} % fast genes (x"
            f"{cond['fast_factor']:g}), lengths {cond['min_len']}-"
            f"{cond['max_len']}, seed {cond['seed']}, mafft "
            f"{cond['mafft']}, trees IQ-TREE 2 -fast -m "
            f"{MODELS[cond['type']]}")


def smoke(args, colsieve):
    """Two tiny conditions end to end; raises BenchError on any fault."""
    failures = nrf.self_test()
    if failures:
        raise BenchError(f"nrf self-test: {failures} failed")
    top = args.out or tempfile.mkdtemp(prefix="colsieve-accuracy-smoke-")
    os.makedirs(top, exist_ok=True)
    # The same seed must give the same simulated bytes.
    firsts = []
    for k in range(2):
        d = os.path.join(top, f"sim-repeat-{k}")
        shutil.rmtree(d, ignore_errors=True)
        simulate.simulate(d, 7, 2, 6, 0.5, "protein", 0.05, 0.5,
                          min_len=40, max_len=60)
        firsts.append(open(os.path.join(d, "gene001.fa")).read() +
                      open(os.path.join(d, "true.tre")).read())
    if firsts[0] != firsts[1]:
        raise BenchError("the same seed simulated different genes")
    plan = [("protein", ["default", "-t 0.5 -c 0"]),
            ("codon", ["--codon --mask-stops all", "--cds -t 0.5"])]
    for seq_type, settings in plan:
        ns = argparse.Namespace(**vars(args))
        ns.type, ns.genes, ns.taxa, ns.depth = seq_type, 4, 8, 0.8
        ns.indel_rate, ns.fast_share, ns.seed = 0.05, 0.25, 3
        ns.min_len, ns.max_len, ns.mafft = 60, 120, "--auto"
        ns.codon_align = "protein"
        cond = condition_of(ns)
        work = os.path.join(top, seq_type)
        rows, table = benchmark(ns, cond, settings, work, colsieve,
                                quiet=True)
        print(f"smoke, {describe(cond)}\n\n{table}")
        if [r["setting"] for r in rows] != [UNTRIMMED] + settings:
            raise BenchError(f"smoke {seq_type}: rows are "
                             f"{[r['setting'] for r in rows]}")
        for r in rows:
            values = [r["mean"], r["median"]] + (
                [r["concat"]] if r["concat"] is not None else [])
            if not all(0.0 <= v <= 1.0 for v in values):
                raise BenchError(f"smoke {seq_type}: nRF out of range in {r}")
            if not 0.0 < r["kept"] <= 100.0:
                raise BenchError(f"smoke {seq_type}: columns kept {r['kept']}")
            if "p" in r and not 0.0 <= r["p"] <= 1.0:
                raise BenchError(f"smoke {seq_type}: p {r['p']}")
        if rows[0]["kept"] != 100.0 or rows[1]["kept"] >= 100.0:
            raise BenchError(f"smoke {seq_type}: trimming removed nothing")
    if not args.keep and args.out is None:
        shutil.rmtree(top)


def main(argv):
    args = parse_args(argv)
    try:
        check_tools()
        colsieve = find_colsieve(args.colsieve)
        if args.smoke:
            start = time.perf_counter()
            smoke(args, colsieve)
            print(f"smoke run passed in {time.perf_counter() - start:.0f} s")
            return 0
        cond = condition_of(args)
        settings = settings_of(args)
        work = args.out or os.path.join(
            os.environ.get("TMPDIR", "/tmp"), "colsieve-accuracy",
            condition_name(cond))
        start = time.perf_counter()
        rows, table = benchmark(args, cond, settings, work, colsieve)
        elapsed = time.perf_counter() - start
        text = (f"Condition: {describe(cond)}\n"
                f"Command: bench/accuracy/run.sh {shlex.join(argv)}\n\n"
                f"{table}\n"
                f"nRF: normalised Robinson-Foulds distance to the true tree "
                f"(0 = same topology); better / worse / tied: genes whose "
                f"tree is closer / farther / as close as the untrimmed "
                f"alignment's; p: two-sided Wilcoxon signed-rank test of the "
                f"paired nRF; gappy columns: more than half of the sequences "
                f"have a gap. Run time {elapsed:.0f} s.\n")
        print(text, end="")
        with open(os.path.join(work, "table.md"), "w") as handle:
            handle.write(text)
        if args.table:
            with open(args.table, "w") as handle:
                handle.write(text)
        return 0
    except BenchError as e:
        print(f"Error: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
