#!/usr/bin/env bash
# MultiQC finds colsieve's summary tables: two batch runs (as two groups of
# a workflow would be) write --summary out/group-K_mqc.tsv over the
# examples, two of which fail; multiqc on the folder must make one
# colsieve section whose data file has one row per alignment of both runs,
# keyed by the input, with its kept_columns and status as colsieve wrote
# them.
#
# usage: multiqc_test.sh COLSIEVE REPO
# Exits 77 (skipped) when multiqc is missing, unless COLSIEVE_REQUIRE_ALL is
# set, as in CI.
set -u
bin=$(realpath "$1")
repo=$(realpath "$2")
. "$(dirname "$0")/require_tool.sh"
require_tool multiqc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

mkdir in
cp "$repo"/examples/*.fa "$repo"/examples/fn3.sto in/
inputs=(in/*)
half=$(( ${#inputs[@]} / 2 ))
"$bin" -r --out-dir out --out-name '{name}' --summary out/group-1_mqc.tsv \
  "${inputs[@]:0:half}" 2> /dev/null
"$bin" -r --out-dir out --out-name '{name}' --summary out/group-2_mqc.tsv \
  "${inputs[@]:half}" 2> /dev/null
# HOME: MultiQC may write its settings there; no version check, no network.
HOME=$work multiqc --no-ansi -q --cl-config 'no_version_check: true' \
  -o report out > multiqc.log 2>&1 || { cat multiqc.log; echo "multiqc failed"; exit 1; }

/usr/bin/python3 - "${#inputs[@]}" << 'EOF'
import csv, os, sys
data = "report/multiqc_data/multiqc_colsieve_summary.txt"
if not os.path.exists(data):
    sys.exit(f"no colsieve section in the report's data: {os.listdir('report/multiqc_data')}")
with open(data) as f:
    got = {r["Sample"]: r for r in csv.DictReader(f, delimiter="\t")}
want = {}
for k in (1, 2):
    with open(f"out/group-{k}_mqc.tsv") as f:
        lines = [l for l in f if not l.startswith("#")]
    want.update({r["input"]: r for r in csv.DictReader(lines, delimiter="\t")})
assert len(want) == int(sys.argv[1]), want.keys()
assert sorted(got) == sorted(want), (sorted(got), sorted(want))
for name, row in want.items():
    g = got[name]
    assert g["status"] == row["status"], (name, g, row)
    if row["status"] == "ok":
        assert float(g["kept_columns"]) == int(row["kept_columns"]), (name, g, row)
    else:
        assert g["kept_columns"] == "", (name, g)
print(f"{len(got)} alignments in the colsieve section, "
      f"{sum(r['status'] == 'failed' for r in want.values())} of them failed")
EOF
