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
