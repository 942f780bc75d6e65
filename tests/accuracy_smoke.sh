#!/usr/bin/env bash
# The accuracy benchmark end to end on two tiny conditions (a protein and a
# codon one, four genes of eight taxa): simulation, alignment, trimming,
# gene and concatenated trees, and the table, checked for sound values.
# It keeps bench/accuracy working; it measures nothing.
#
# usage: accuracy_smoke.sh COLSIEVE REPO
set -u
bin=$1
repo=$2
. "$(dirname "$0")/require_tool.sh"
for tool in indelible mafft iqtree2; do require_tool "$tool"; done
require_python "import scipy.stats" "SciPy (python3-scipy)"
require_python "import Bio.Seq" "Biopython (python3-biopython)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
TMPDIR=$work "$repo/bench/accuracy/run.sh" --smoke --colsieve "$bin"
