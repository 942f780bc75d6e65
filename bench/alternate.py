#!/usr/bin/env python3
"""The run_bench.sh rows measured as users run colsieve: the commands take
turns, so that no timed run follows itself and each finds the page cache
and free memory as the other programs left them. Prints wall-time medians
and ranges against the baseline build, the start-up cost on a small
alignment against /bin/true, and optionally the 4 GB row: colsieve beside
`cat` of the same file, with its peak anonymous memory.

usage: alternate.py BIN BASE L M SMALL ROUNDS [BIG]
  BIN, BASE  colsieve and the baseline build ("" for none)
  L, M       the large and middle alignments
  SMALL      a small alignment (examples/globins4.fa)
  BIG        the 4 GB alignment, for the last row
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))


def run(cmd):
    t = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=False)
    return time.perf_counter() - t


def shown(t):
    return f"{t * 1000:.1f} ms" if t < 1 else f"{t:.3f} s"


def target(what, value, limit):
    verdict = "ok" if value <= limit else "MISSED"
    print(f"  {what:44} {value:6.2f} (at most {limit}) {verdict}")


def main(bin_, base, l_file, m_file, small, rounds, big=None):
    cmds = {}
    if base:
        cmds["L colsieve baseline"] = [base, "-i", l_file]
    cmds["L colsieve"] = [bin_, "-i", l_file]
    cmds["L colsieve --streaming never"] = [bin_, "-i", l_file, "--streaming",
                                             "never"]
    if base:
        cmds["M colsieve baseline"] = [base, "-i", m_file]
    cmds["L colsieve --threads 1"] = [bin_, "-i", l_file, "--threads", "1"]
    cmds["M colsieve"] = [bin_, "-i", m_file]
    names = list(cmds)
    times = {n: [] for n in names}
    for r in range(rounds):
        # Each round starts where the last one did not end.
        order = names[r % len(names):] + names[:r % len(names)]
        for n in order:
            times[n].append(run(cmds[n]))

    print(f"\nalternating runs ({rounds} rounds, no command after itself)")
    print(f"  {'command':28} {'median':>9} {'range':>21} {'x base':>7}")
    med = {n: statistics.median(t) for n, t in times.items()}
    for n in names:
        size = n.split()[0]
        b = med.get(f"{size} colsieve baseline")
        ratio = f"{med[n] / b:7.2f}" if b and "baseline" not in n else ""
        span = f"{shown(min(times[n]))} - {shown(max(times[n]))}"
        print(f"  {n:28} {shown(med[n]):>9} {span:>21} {ratio}")

    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "start.json")
        subprocess.run(["hyperfine", "-N", "--warmup", "50", "--runs", "500",
                        "--style", "none", "--export-json", out,
                        "-n", "/bin/true", "/bin/true",
                        "-n", "colsieve small", f"{bin_} -i {small}"] +
                       (["-n", "baseline small", f"{base} -i {small}"]
                        if base else []),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        start = {r["command"]: statistics.median(r["times"])
                 for r in json.load(open(out))["results"]}
    print(f"\nstart-up on {os.path.basename(small)} (hyperfine -N, 500 runs)")
    for n, t in start.items():
        print(f"  {n:28} {t * 1000:7.3f} ms {t / start['/bin/true']:6.2f} x /bin/true")

    # The peak of anonymous memory of L read in place.
    sample = [sys.executable, os.path.join(here, "peak_anon.py"), "-o",
              os.devnull, bin_, "-i", l_file]
    p = subprocess.run(sample, stderr=subprocess.PIPE, text=True, check=True)
    l_peak = int(p.stderr.strip().splitlines()[-1].split()[1])
    print(f"\nL read in place: peak RssAnon {l_peak / 1000:.1f} MB")

    print("\ntargets (alternating runs)")
    if base:
        target("L, default threads / baseline",
               med["L colsieve"] / med["L colsieve baseline"], 0.40)
        target("L, --threads 1 / baseline",
               med["L colsieve --threads 1"] / med["L colsieve baseline"], 0.60)
        target("M / baseline", med["M colsieve"] / med["M colsieve baseline"],
               0.45)
    target("L in place / L --streaming never",
           med["L colsieve"] / med["L colsieve --streaming never"], 1.0)
    target("L in place, peak RssAnon (MB)", l_peak / 1000, 64)
    target("small alignment / /bin/true",
           start["colsieve small"] / start["/bin/true"], 2.2)

    if big:
        cat = statistics.median(run(["cat", big]) for _ in range(3))
        sample = [sys.executable, os.path.join(here, "peak_anon.py"),
                  "-o", os.devnull, bin_, "-i", big]
        rows = []
        for _ in range(3):
            p = subprocess.run(sample, stderr=subprocess.PIPE, text=True,
                               check=True)
            wall, peak, status = p.stderr.strip().splitlines()[-1].split()
            rows.append((float(wall), int(peak), int(status)))
        wall = statistics.median(r[0] for r in rows)
        peak = max(r[1] for r in rows)
        gb = os.path.getsize(big) / 1e9
        print(f"\n{gb:.1f} GB alignment ({os.path.basename(big)}), 3 runs each")
        print(f"  {'cat':28} {shown(cat):>9}")
        print(f"  {'colsieve':28} {shown(wall):>9} {wall / cat:6.1f} x cat, "
              f"peak RssAnon {peak / 1000:.1f} MB, status {rows[0][2]}")
        target("4 GB / cat", wall / cat, 6)
        target("4 GB, peak RssAnon (MB)", peak / 1000, 64)


if __name__ == "__main__":
    a = sys.argv[1:]
    main(a[0], a[1], a[2], a[3], a[4], int(a[5]), a[6] if len(a) > 6 else None)
