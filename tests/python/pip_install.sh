#!/usr/bin/env bash
# A clean clone installs with pip into a fresh virtual environment that sees
# the system's packages (NumPy, pybind11), with no package index and no
# network, and the module then imports and trims from outside the clone as
# the tool does.
#
# usage: pip_install.sh SOURCE_DIR COLSIEVE PYTHON
set -u
src=$1
bin=$2
python=$3
if ! git -C "$src" rev-parse --git-dir > /dev/null 2>&1; then
  echo "pip_install: $src is no git checkout to clone"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git clone --quiet "$src" "$scratch/clone" || exit 1
"$python" -m venv --system-site-packages "$scratch/venv" || exit 1
# As README.md gives it: -v, so that CMake's lines come through, and they
# show the module's target alone was built.
PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1 \
  "$scratch/venv/bin/pip" install -v --no-build-isolation "$scratch/clone" \
  > "$scratch/pip.log" 2>&1 || { cat "$scratch/pip.log"; exit 1; }
grep -q "Building CXX object .*colsieve_module.cpp" "$scratch/pip.log" &&
  ! grep -q "Built target colsieve\($\|_completion\)" "$scratch/pip.log" ||
  { echo "pip -v did not show the module's build alone:"; cat "$scratch/pip.log"; exit 1; }
cd "$scratch" || exit 1
rm -rf "$scratch/clone"  # nothing of the clone may be needed any more
"$bin" -i "$src/examples/Pkinase.fa" -r -p > want 2> /dev/null || exit 1
"$scratch/venv/bin/python" - "$src/examples/Pkinase.fa" << 'PY' || exit 1
import sys
import colsieve
assert colsieve.__file__.startswith(sys.prefix), colsieve.__file__
t = colsieve.trim(colsieve.read(sys.argv[1]))
t.write("got", format="phylip", remove=True)
PY
cmp want got || { echo "the installed module writes other bytes than the tool"; exit 1; }
"$bin" --version | head -n 1 > tool.version
"$scratch/venv/bin/python" -c 'import colsieve; print("colsieve", colsieve.__version__)' > module.version
cmp tool.version module.version || { echo "versions differ"; exit 1; }
