#!/usr/bin/env bash
# Runs workflow/colsieve.cwl with cwltool, colsieve taken from PATH: the
# description validates; given only examples/globins4.fa it runs
# `colsieve -i FILE` and its outputs equal that command's; with every option
# set (on a gzip-compressed copy) its alignment, column map, report and
# summary line equal a direct run's; a broken alignment fails the run and
# leaves no trimmed file and no summary, its error in the log.
#
# usage: cwl_test.sh COLSIEVE REPO
# Exits 77 (skipped) when cwltool or node (for the description's
# expressions) is missing, unless COLSIEVE_REQUIRE_ALL is set, as in CI.
set -u
bin=$(realpath "$1")
repo=$(realpath "$2")
. "$(dirname "$0")/require_tool.sh"
require_tool cwltool
require_tool node
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tool=$repo/workflow/colsieve.cwl
fail=0
export PATH=$(dirname "$bin"):$PATH

cwltool --validate "$tool" > "$work/validate.log" 2>&1 ||
  { echo "colsieve.cwl does not validate:"; cat "$work/validate.log"; exit 1; }

run() {  # folder, tool inputs...: runs the tool into folder
  local dir=$work/$1
  shift
  cwltool --outdir "$dir" "$tool" "$@" > "$dir.json" 2> "$dir.log"
}

output() {  # folder, output: its path, or None
  python3 -c 'import json, sys
value = json.load(open(sys.argv[1]))[sys.argv[2]]
print(value["path"] if isinstance(value, dict) else value)' "$work/$1.json" "$2"
}

# The command cwltool ran, on one line, without its redirections.
ran() {  # folder
  sed -n '/\$ colsieve \\$/,/[^\\]$/p' "$work/$1.log" |
    sed 's/^.*\$ colsieve/colsieve/; s/^ *//; s/ *\\$//' | tr '\n' ' ' | sed 's/ 2\{0,1\}> .*//'
}

# Only the alignment: exactly `colsieve -i FILE -o NAME`.
aln=$repo/examples/globins4.fa
run plain --alignment "$aln" || { echo "cwltool failed:"; cat "$work/plain.log"; exit 1; }
staged=$(ran plain | cut -d' ' -f3)
[ "$(ran plain)" = "colsieve -i $staged -o globins4.fa" ] && [ "$(basename "$staged")" = globins4.fa ] ||
  { echo "given only the alignment, the tool ran: $(ran plain)"; fail=1; }
"$bin" -i "$aln" > "$work/direct.fa" 2> "$work/direct.log"
cmp "$work/direct.fa" "$(output plain trimmed)" || fail=1
[ "$(basename "$(output plain trimmed)")" = globins4.fa ] ||
  { echo "the trimmed alignment is named $(output plain trimmed)"; fail=1; }
cmp "$work/direct.log" "$(output plain log)" || fail=1
[ "$(output plain summary)" = "$(tail -n 1 "$work/direct.log")" ] ||
  { echo "summary '$(output plain summary)' is not the summary line"; fail=1; }
[ "$(output plain map)" = None ] && [ "$(output plain html_report)" = None ] ||
  { echo "side files without column_map or report"; fail=1; }

# Every option, on a gzip-compressed copy; the report names the input as
# given, so the staged copy's path is put back before comparing.
gzip -n -c "$aln" > "$work/globins4.fa.gz"
run options --alignment "$work/globins4.fa.gz" --fold_case --target 0.5 \
  --remove --out_format phylip-relaxed --column_map map.tsv --report report.html \
  --threads 2 || { echo "cwltool failed:"; cat "$work/options.log"; exit 1; }
(cd "$work" && "$bin" -i globins4.fa.gz -u -t 0.5 -r -f phylip-relaxed \
   -l direct.tsv -w direct.html --threads 2 > direct.phy 2> direct.log)
staged=$(ran options | cut -d' ' -f3)
[ "$(ran options)" = "colsieve -i $staged -u -t 0.5 -r -f phylip-relaxed -l map.tsv -w report.html --threads 2 -o globins4.fa" ] ||
  { echo "with every option, the tool ran: $(ran options)"; fail=1; }
cmp "$work/direct.phy" "$(output options trimmed)" || fail=1
cmp "$work/direct.tsv" "$(output options map)" || fail=1
sed "s|$staged|globins4.fa.gz|g" "$(output options html_report)" | cmp "$work/direct.html" - ||
  { echo "the report differs from a direct run's"; fail=1; }
[ "$(output options summary)" = "$(tail -n 1 "$work/direct.log")" ] ||
  { echo "summary '$(output options summary)' is not the summary line"; fail=1; }

# A broken alignment: colsieve's status 1 fails the run, which leaves no
# trimmed file (not an empty one) and no summary; the error is in the log.
printf '>a\nACDEF\n>b\nACD\n' > "$work/broken.fa"
if run broken --alignment "$work/broken.fa"; then
  echo "cwltool reported success over a broken alignment"; fail=1
fi
grep -q "permanentFail" "$work/broken.log" ||
  { echo "the broken run is not a permanent failure:"; cat "$work/broken.log"; fail=1; }
[ "$(output broken trimmed)" = None ] && [ ! -e "$work/broken/broken.fa" ] ||
  { echo "the failed run left a trimmed file"; fail=1; }
[ "$(output broken summary)" = None ] ||
  { echo "the failed run has a summary: $(output broken summary)"; fail=1; }
grep -qxF "Error: sequence lengths differ!" "$(output broken log)" ||
  { echo "the failed run's log lacks its error"; fail=1; }
exit $fail
