# Sourced by the test scripts that need an optional tool: skips the test
# (status 77) when the tool is missing, or fails it when COLSIEVE_REQUIRE_ALL
# is set, as in CI, so that nothing is skipped there unnoticed.
require_tool() {
  command -v "$1" > /dev/null && return 0
  if [ -n "${COLSIEVE_REQUIRE_ALL:-}" ]; then
    echo "$1 is not installed"
    exit 1
  fi
  echo "$1 is not installed: skipped"
  exit 77
}

# The same for Python modules of Debian's own interpreter (the one
# python3-biopython and python3-scipy serve): require_python "import Bio.Seq"
# "Biopython (python3-biopython)".
require_python() {  # import statement, what it is for the message
  /usr/bin/python3 -c "$1" 2> /dev/null && return 0
  if [ -n "${COLSIEVE_REQUIRE_ALL:-}" ]; then
    echo "$2 is not installed"
    exit 1
  fi
  echo "$2 is not installed: skipped"
  exit 77
}
