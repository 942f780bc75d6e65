#!/usr/bin/env bash
# Renders the HTML report of a shipped alignment in headless Chromium: the
# page must load, produce a screenshot, and have its parts in the rendered
# document (figures, score profile with one bar per column, alignment blocks).
#
# usage: report_browser_test.sh COLSIEVE ALIGNMENT [SCREENSHOT]
# SCREENSHOT, if given, keeps the picture there. Exits 77 (skipped) when
# chromium is missing, unless COLSIEVE_REQUIRE_ALL is set, as in CI.
set -u
bin=$1
aln=$2
keep=${3:-}
. "$(dirname "$0")/require_tool.sh"
require_tool chromium
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin" -i "$aln" -w "$work/report.html" > /dev/null 2>&1 || { echo "colsieve failed"; exit 1; }

browse() {
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic \
    --no-first-run --disable-background-networking --disable-component-update \
    --disable-sync --user-data-dir="$work/profile" --hide-scrollbars "$@" \
    "file://$work/report.html" 2> "$work/chromium.log"
}
browse --window-size=1280,1000 --screenshot="$work/shot.png" > /dev/null
browse --dump-dom > "$work/dom.html"

fail=0
if [ "$(head -c 8 "$work/shot.png" 2> /dev/null | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
  echo "no PNG screenshot"; cat "$work/chromium.log"; fail=1
elif [ "$(wc -c < "$work/shot.png")" -lt 30000 ]; then
  echo "the screenshot looks empty ($(wc -c < "$work/shot.png") bytes)"; fail=1
fi
"$bin" -i "$aln" -l "$work/map.tsv" > /dev/null 2>&1
columns=$(tail -n +2 "$work/map.tsv" | wc -l)
dom=$work/dom.html
grep -q '<dl class="facts" id="facts">' "$dom" || { echo "no facts"; fail=1; }
grep -q '<svg id="profile"' "$dom" || { echo "no score profile"; fail=1; }
bars=$(grep -o '<g><title>column ' "$dom" | wc -l)
[ "$bars" -eq "$columns" ] || { echo "$bars bars for $columns columns"; fail=1; }
blocks=$(grep -o '<div class="aln">' "$dom" | wc -l)
[ "$blocks" -eq $(( (columns + 99) / 100 )) ] || { echo "$blocks alignment blocks"; fail=1; }
grep -q 'target 0.850000' "$dom" || { echo "no target line label"; fail=1; }
[ -n "$keep" ] && cp "$work/shot.png" "$keep"
exit $fail
