"""The Python module against the tool: the black-box cases' outputs and
messages, the column maps of examples/, Biopython, threads, errors.

Environment: COLSIEVE_ROOT (the source tree), COLSIEVE_TOOL (the built
binary); the module on PYTHONPATH.
"""
import ctypes
import io
import os
import signal
import subprocess
import threading
import warnings
from pathlib import Path

import numpy as np
import pytest

import colsieve

ROOT = Path(os.environ.get("COLSIEVE_ROOT", Path(__file__).resolve().parents[2]))
TOOL = os.environ.get("COLSIEVE_TOOL", str(ROOT / "build" / "colsieve"))
CASES = ROOT / "tests" / "cli"
EXAMPLES = sorted(p for p in (ROOT / "examples").iterdir() if p.suffix in (".fa", ".sto"))


class Unmapped(Exception):
    """A case whose arguments have no counterpart in the module."""


def mapped(args):
    """A case's arguments as the module's calls: (input, read, trim, write,
    column map path)."""
    read, trim, write = {}, {}, {"format": "default", "remove": False}
    source, column_map = None, None
    it = iter(args)
    for a in it:
        if a == "-i":
            source = next(it)
        elif a == "-u":
            read["fold_case"] = True
        elif a == "--max-columns":
            read["max_columns"] = int(next(it))
        elif a in ("-t", "-c", "-m"):
            key = {"-t": "target", "-c": "cst", "-m": "maxcst"}[a]
            trim[key] = float(next(it))
        elif a == "-H":
            trim["henikoff"] = True
        elif a == "-r":
            write["remove"] = True
        elif a == "-p":
            write["format"] = "phylip"
        elif a in ("-f", "--out-format"):
            write["format"] = next(it)
        elif a == "--safe-names":
            write["safe_names"] = True
        elif a == "--codon":
            trim["codon"] = True
        elif a == "--mask-stops":
            trim["mask_stops"] = next(it)
        elif a == "--ends-only":
            trim["ends_only"] = True
        elif a == "--cds":
            trim["cds"] = next(it)
        elif a == "--genetic-code":
            trim["genetic_code"] = int(next(it))
        elif a in ("-j", "--threads"):
            trim["threads"] = int(next(it))
        elif a == "-l":
            column_map = next(it)
        else:
            raise Unmapped(a)
    if source is None:
        raise Unmapped("no -i")
    return source, read, trim, write, column_map


def runnable_cases():
    out = []
    for d in sorted(CASES.iterdir()):
        if not d.is_dir() or any((d / f).exists() for f in ("setup", "stdout_to", "ulimit_v")):
            continue
        args = (d / "args").read_text().split("\n") if (d / "args").exists() else []
        if args and args[-1] == "":
            args.pop()
        try:
            case = mapped(args)
        except (Unmapped, ValueError, StopIteration):
            continue
        status = int((d / "status").read_text())
        stderr = (d / "stderr").read_text() if (d / "stderr").exists() else None
        if status == 0 and (d / "stdout").exists() and stderr is not None:
            out.append(pytest.param(d, case, id=d.name))
        elif (status == 1 and stderr and stderr.startswith("Error") and "--" not in stderr
              and case[4] is None):  # the module writes no side files
            out.append(pytest.param(d, case, id=d.name))
    return out


def run_module(d, case, how):
    """Runs a case through the module; returns (stdout bytes, stderr text,
    column map bytes), or raises what the module raised."""
    source, read_kw, trim_kw, write_kw, map_path = case
    if source == "-":
        src = (d / "stdin").read_bytes() if (d / "stdin").exists() else b""
    elif how == "bytes":
        if (d / source).is_dir():
            pytest.skip("a folder has no bytes")
        src = (d / source).read_bytes()
    else:
        src = source  # run in the case's folder, as messages name the file
    lines = []
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            aln = colsieve.read(src, **read_kw)
            t = colsieve.trim(aln, **trim_kw)
            out = io.BytesIO()
            t.write(out, **write_kw)
        finally:
            lines = [str(w.message) + "\n" for w in caught]
    if trim_kw.get("mask_stops"):
        term, intern = t.masked_stops
        n = term + intern
        lines.append(f"Masked {n} stop codon{'' if n == 1 else 's'} "
                     f"({term} terminal, {intern} internal).\n")
    lines.append("fraction of positions with total weight over target "
                 f"({t.target:f}): {t.fraction:f}\n")
    return out.getvalue(), "".join(lines), t.column_map_text() if map_path else None


@pytest.mark.parametrize("d, case", runnable_cases())
@pytest.mark.parametrize("how", ["path", "bytes"])
def test_cli_case(d, case, how, monkeypatch):
    monkeypatch.chdir(d)
    status = int((d / "status").read_text())
    stderr = (d / "stderr").read_text()
    if status == 0:
        out, err, cmap = run_module(d, case, how)
        assert out == (d / "stdout").read_bytes()
        assert err == stderr
        if cmap is not None and (d / "expect" / case[4]).exists():
            assert cmap == (d / "expect" / case[4]).read_bytes()
    else:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            with pytest.raises(colsieve.Error) as e:
                run_module(d, case, how)
        want = stderr.rstrip("\n").split("\n")
        # Warnings before the error are the module's warnings, not its message.
        want = want[next(i for i, l in enumerate(want) if l.startswith("Error")):]
        if how == "bytes":
            want = [l.replace(case[0], "<bytes>") for l in want]
        assert str(e.value) == "\n".join(want)
        assert e.value.message == want[0] and e.value.details == want[1:]


def tool(*args, cwd=None):
    return subprocess.run([TOOL, *map(str, args)], capture_output=True, check=True, cwd=cwd)


@pytest.mark.filterwarnings("ignore::colsieve.ColsieveWarning")  # renamed for nexus
@pytest.mark.parametrize("path", EXAMPLES, ids=lambda p: p.name)
def test_examples_equal_the_tool(path, tmp_path):
    """kept, scores, weights and written bytes against the tool's -l map and
    output, for every output format."""
    u = ["-u"] if ".mafft." in path.name else []  # MAFFT writes lower case
    t = colsieve.trim(colsieve.read(path, fold_case=bool(u)), threads=2)
    r = tool(*u, "-i", path, "-l", tmp_path / "map.tsv")
    assert t.column_map_text() == (tmp_path / "map.tsv").read_bytes()
    rows = [l.split("\t") for l in (tmp_path / "map.tsv").read_text().splitlines()[1:]]
    assert [f"{s:f}" for s in t.scores] == [r[1] for r in rows]
    assert t.kept.tolist() == [r[2] == "1" for r in rows]
    assert t.kept.dtype == np.bool_ and t.scores.dtype == t.weights.dtype == np.float64
    assert t.column_map() == [(j + 1, s, k) for j, (s, k) in enumerate(zip(t.scores, t.kept))]
    # The scores are the weights' sums, added in input order, to the bit.
    rows_ = colsieve.read(path, fold_case=bool(u)).sequences
    total = 0.0
    for w in t.weights:
        total += w
    for j in range(0, len(rows_[0]), 7):
        s = 0.0
        for i, row in enumerate(rows_):
            if row[j] != "-":
                s += t.weights[i]
        assert t.scores[j] == (t.cst * s) / total
    assert t.weights.shape == (len(rows_),)
    out = io.BytesIO()
    t.write(out, format="default", remove=False)
    assert out.getvalue() == r.stdout
    for fmt in ("phylip", "fasta", "phylip-relaxed", "nexus", "clustal", "paml", "pir"):
        for remove in (False, True):
            f = tmp_path / f"out.{fmt}"
            t.write(f, format=fmt, remove=remove)
            want = tool(*u, "-i", path, "-f", fmt, *(["-r"] if remove else [])).stdout
            assert f.read_bytes() == want, (fmt, remove)
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(
        ["map.tsv"] + [f"out.{f}" for f in ("phylip", "fasta", "phylip-relaxed", "nexus",
                                             "clustal", "paml", "pir")])


def test_sources_agree(tmp_path):
    path = ROOT / "examples" / "fn3.sto"
    gz = tmp_path / "fn3.sto.gz"
    subprocess.run(["gzip", "-c", str(path)], stdout=gz.open("wb"), check=True)
    a = colsieve.read(path)
    with open(gz, "rb") as f:
        b = colsieve.read(f)
    c = colsieve.read(bytearray(path.read_bytes()))
    d = colsieve.read(io.BytesIO(path.read_bytes()))
    for x in (b, c, d):
        assert (x.names, x.sequences, x.format) == (a.names, a.sequences, "Stockholm")
    assert (a.nseq, a.ncol, len(a)) == (len(a.names), len(a.sequences[0]), a.nseq)
    with open(path) as f, pytest.raises(TypeError, match="binary mode"):
        colsieve.read(f)
    with pytest.raises(TypeError):
        colsieve.read(12)


def test_file_object_read_to_its_end():
    class Chunks:  # gives its data 100 bytes a call, as a raw stream may
        def __init__(self, data):
            self.data = data

        def read(self, size=-1):
            part, self.data = self.data[:100], self.data[100:]
            return part

    data = (ROOT / "examples" / "Pkinase.fa").read_bytes()
    whole = colsieve.read(data)
    a = colsieve.read(Chunks(data))
    assert (a.names, a.sequences) == (whole.names, whole.sequences)


def test_built_alignment():
    a = colsieve.Alignment(["a one", "b"], ["AcX-.~?", "ACDEFGH"])
    assert a.sequences == ["AC-----", "ACDEFGH"] and a.format is None
    assert a.names == ["a one", "b"]
    t = colsieve.trim(a, ends_only=True)  # fewer than 40 columns: all kept
    assert t.kept.all() and t.selected.all() and len(t.column_map()[0]) == 4
    assert t.alignment().sequences == a.sequences
    wide = colsieve.Alignment(["a", "b", "c"], ["AC" * 30 + "-" * 20, "AC" * 40, "AC" * 40])
    t = colsieve.trim(wide, target=0.9)
    assert t.kept.tolist() == [True] * 60 + [False] * 20 and t.target == 0.9
    assert t.alignment().sequences == ["AC" * 30] * 3
    assert t.alignment(remove=False).sequences == wide.sequences
    with pytest.raises(colsieve.Error, match=r"record 2 \(b\) holds '\*' in column 3"):
        colsieve.Alignment(["a", "b"], ["ACD", "AC*"])
    with pytest.raises(colsieve.Error) as e:
        colsieve.Alignment(["a", "b"], ["ACD", "AC"])
    assert e.value.details == ["Record 2 (b) has 2 columns; record 1 (a) has 3."]
    with pytest.raises(TypeError, match=r"names must be str, not int \(names\[0\]\)"):
        colsieve.Alignment([1, 2], ["A", "C"])
    with pytest.raises(TypeError, match=r"sequences must be str, not bytes \(sequences\[1\]\)"):
        colsieve.Alignment(["a", "b"], ["A", b"C"])
    with pytest.raises(colsieve.Error, match=r"record 1 \(a\) holds a blank in column 2"):
        colsieve.Alignment(["a", "b"], ["A C", "ACD"])
    with pytest.raises(colsieve.Error, match=r"record 2 \(b\) holds 'é' in column 2"):
        colsieve.Alignment(["a", "b"], ["ACD", "Aé*"])
    with pytest.raises(colsieve.Error, match="2 names for 1 sequences"):
        colsieve.Alignment(["a", "b"], ["ACD"])
    with pytest.raises(colsieve.Error, match="no sequences"):
        colsieve.Alignment([], [])


def test_biopython_round_trip(tmp_path):
    from Bio import AlignIO

    path = ROOT / "examples" / "fn3.sto"
    msa = AlignIO.read(str(path), "stockholm")
    via = colsieve.Alignment.from_biopython(msa)
    direct = colsieve.read(path)
    assert via.sequences == direct.sequences
    assert np.array_equal(colsieve.trim(via).scores, colsieve.trim(direct).scores)
    back = colsieve.Alignment.from_biopython(direct.to_biopython())
    assert (back.names, back.sequences) == (direct.names, direct.sequences)
    # Names with descriptions survive Biopython's FASTA writer and reader.
    g = colsieve.read(ROOT / "examples" / "H5N1_HA_5.fa")
    out = tmp_path / "g.fa"
    AlignIO.write(g.to_biopython(), str(out), "fasta")
    again = colsieve.Alignment.from_biopython(AlignIO.read(str(out), "fasta"))
    assert (again.names, again.sequences) == (g.names, g.sequences)
    t = colsieve.trim(g).alignment().to_biopython()
    assert t.get_alignment_length() == int(colsieve.trim(g).kept.sum())


def test_trim_options():
    a = colsieve.read(ROOT / "examples" / "integrase_cds.mafft.fa", fold_case=True)
    base = colsieve.trim(a)
    assert base.passes >= 1 and 0 < base.fraction <= 1
    for kw in ({"target": 0.5}, {"cst": 0}, {"cst": 0, "maxcst": 1.1}, {"henikoff": True, "cst": 2},
               {"codon": True}, {"codon": True, "mask_stops": "all"}, {"ends_only": True}):
        t = colsieve.trim(a, **kw)
        args = []
        for k, v in kw.items():
            args += {"target": ["-t", str(v)], "cst": ["-c", str(v)], "maxcst": ["-m", str(v)],
                     "henikoff": ["-H"], "codon": ["--codon"], "mask_stops": ["--mask-stops", str(v)],
                     "ends_only": ["--ends-only"]}[k]
        r = subprocess.run([TOOL, "-u", "-i", ROOT / "examples" / "integrase_cds.mafft.fa",
                            "-l", "/dev/stdout", "-o", "/dev/null", *args],
                           capture_output=True, check=True)
        assert t.column_map_text() == r.stdout, kw
        assert r.stderr.decode().endswith(f"({t.target:f}): {t.fraction:f}\n")
    assert np.array_equal(colsieve.trim(a, cst=0).scores, colsieve.trim(a, cst=0, threads=1).scores)
    assert colsieve.trim(a, cst=0, maxcst=1.1).cst == 1.1
    # Stop masking works on a copy: the alignment read stays as it was.
    before = a.sequences
    colsieve.trim(a, codon=True, mask_stops="all")
    assert a.sequences == before


def test_argument_errors():
    a = colsieve.read(ROOT / "examples" / "globins4.fa")
    for kw, text in [({"mask_stops": "all"}, "mask_stops needs codon"),
                     ({"codon": True, "mask_stops": "most"}, 'unknown mask_stops "most"'),
                     ({"genetic_code": 2}, "genetic_code goes with cds"),
                     ({"cds": "x.fa", "genetic_code": 7}, r"genetic_code \(7\) is not"),
                     ({"cds": "x.fa", "codon": True}, "do not go with cds"),
                     ({"threads": -1}, r"threads \(-1\) must be"),
                     ({"target": float("nan")}, "target must be a number"),
                     ({"cds": "/nonexistent.fa"}, "cannot open the coding sequences")]:
        with pytest.raises(colsieve.Error, match=text):
            colsieve.trim(a, **kw)
    with pytest.raises(colsieve.Error, match="--codon needs whole codons"):
        colsieve.trim(colsieve.Alignment(["a"], ["ACGT"]), codon=True)
    t = colsieve.trim(a)
    with pytest.raises(colsieve.Error, match='unknown output format "fastq"; the formats are'):
        t.write(io.BytesIO(), format="fastq")
    with pytest.raises(colsieve.Error, match="max_columns"):
        colsieve.read(b">a\nA\n", max_columns=2**31)
    with pytest.raises(colsieve.Error) as e:
        colsieve.read("/nonexistent/a.fa")
    assert str(e.value) == ("Error-- no valid input file\n"
                            "Cannot open /nonexistent/a.fa: No such file or directory")
    assert isinstance(e.value, ValueError)


def test_failed_write_leaves_nothing(tmp_path):
    t = colsieve.trim(colsieve.Alignment(["a b", "a c"], ["ACDE", "ACDE"]))
    with pytest.raises(colsieve.Error, match="would both be named"):
        t.write(tmp_path / "x.phy", format="phylip-relaxed")
    with pytest.raises(colsieve.Error, match="cannot"):
        t.write(tmp_path / "missing" / "x.fa")
    assert list(tmp_path.iterdir()) == []
    text = io.StringIO()
    t.write(text)
    assert text.getvalue() == ">a b\nACDE\n>a c\nACDE\n"


def test_two_threads_at_once():
    path = ROOT / "examples" / "Pkinase.fa"
    want = colsieve.trim(colsieve.read(path)).column_map_text()
    shared = colsieve.read(path)
    results, barrier = [None] * 4, threading.Barrier(4)

    def work(k):
        barrier.wait()
        aln = shared if k % 2 else colsieve.read(path, threads=2)
        results[k] = colsieve.trim(aln, threads=2).column_map_text()

    threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    assert results == [want] * 4


def _handlers():
    """The process's handlers as the C library holds them."""
    libc = ctypes.CDLL(None, use_errno=True)
    out = {}
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGPIPE, signal.SIGBUS):
        buf = ctypes.create_string_buffer(256)  # room for a struct sigaction
        assert libc.sigaction(int(sig), None, buf) == 0
        out[sig] = buf.raw[:8]
    return out


def test_no_signal_handlers(tmp_path):
    before = _handlers()
    big = tmp_path / "big.fa"  # large enough for the tool to map it
    row = "ACDEFGHIKLMNPQRSTVWY-" * 2000
    big.write_text("".join(f">s{i}\n{row}\n" for i in range(120)))
    t = colsieve.trim(colsieve.read(big, max_columns=0))
    t.write(tmp_path / "out.fa")
    assert _handlers() == before
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
    assert sorted(p.name for p in tmp_path.iterdir()) == ["big.fa", "out.fa"]


def test_version_and_help():
    r = tool("--version")
    assert r.stdout.decode().split("\n")[0] == "colsieve " + colsieve.__version__
    doc = colsieve.trim.__doc__
    for name in ("target", "cst", "maxcst", "henikoff", "threads", "codon", "mask_stops",
                 "ends_only", "cds", "genetic_code"):
        assert f"\n{name}: " in doc, name


@pytest.mark.filterwarnings("ignore:.*were dropped from the residues")
def test_cds(tmp_path):
    case = CASES / "cds_default"
    prot, cds = tmp_path / "prot.fa", tmp_path / "cds.fa"
    prot.write_bytes((case / "prot.fa").read_bytes())
    cds.write_bytes((case / "cds.fa").read_bytes())
    for code in (0, 11):
        args = ["--genetic-code", str(code)] if code else []
        want = tool("-i", prot, "--cds", cds, "-f", "fasta", *args).stdout
        for src in (prot, prot.read_bytes()):
            t = colsieve.trim(colsieve.read(src), cds=cds, genetic_code=code)
            out = io.BytesIO()
            t.write(out)
            assert out.getvalue() == want
    codons = t.alignment(remove=False)
    assert codons.ncol == 3 * colsieve.read(prot).ncol
    # A built alignment threads its own letters.
    two = tmp_path / "two.fa"
    two.write_bytes(b"".join(prot.read_bytes().splitlines(keepends=True)[:4]))
    want = tool("-i", two, "--cds", cds, "-f", "fasta").stdout
    a = colsieve.read(two)
    out = io.BytesIO()
    with pytest.warns(colsieve.ColsieveWarning, match="belongs to no record"):
        colsieve.trim(colsieve.Alignment(a.names, a.sequences), cds=cds).write(out)
    assert out.getvalue() == want
    # The file is read again for its letters: it must not have changed.
    aln = colsieve.read(prot)
    prot.write_bytes(prot.read_bytes() + b"\n")
    with pytest.raises(colsieve.Error, match="has changed since it was read"):
        colsieve.trim(aln, cds=cds)
