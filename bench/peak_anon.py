#!/usr/bin/env python3
"""Runs a command and prints its wall time and the high-water mark of its
anonymous memory (RssAnon in /proc/PID/status, sampled every millisecond;
file pages mapped from the page cache do not count), as
"<seconds> <peak RssAnon kB> <exit status>" on standard error's last line.

usage: peak_anon.py [-o FILE] COMMAND [ARG...]
  -o FILE  the command's standard output goes to FILE (default: inherited)
"""
import os
import subprocess
import sys
import time


def rss_anon(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def main(argv):
    out = None
    if argv[:1] == ["-o"]:
        out = open(argv[1], "wb")
        argv = argv[2:]
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=out)
    peak = 0
    while proc.poll() is None:
        peak = max(peak, rss_anon(proc.pid))
        time.sleep(0.001)
    wall = time.monotonic() - start
    print(f"{wall:.3f} {peak} {proc.returncode}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
