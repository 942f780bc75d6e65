#!/bin/sh
# Accuracy benchmark of colsieve's settings on simulated genes: INDELible,
# MAFFT, colsieve, IQ-TREE 2 and the normalised Robinson-Foulds distance to
# the true tree. Options: bench/accuracy/run.sh --help. Debian's python3 is
# the one with Biopython and SciPy.
exec /usr/bin/python3 "$(dirname "$0")/accuracy.py" "$@"
