#!/usr/bin/env bash
# The folders of src/ are floors, bottom to top: base, core, input, output,
# run, then the faces (app, python). A file may include its own floor's
# headers and those of the floors below it, never one above or beside.
#
# usage: include_layers.sh SRC_DIR
set -u
src=$1
floors=(base core input output run app python)
level() {  # folder -> its floor's number (the faces share the top one)
  case $1 in base) echo 0 ;; core) echo 1 ;; input) echo 2 ;; output) echo 3 ;;
    run) echo 4 ;; app | python) echo 5 ;; *) echo 99 ;; esac
}
fail=0
checked=0
for dir in "${floors[@]}"; do
  for file in "$src/$dir"/*; do
    while IFS= read -r inc; do
      to=${inc%%/*}
      checked=$((checked + 1))
      if [ "$to" != "$dir" ] && [ "$(level "$to")" -ge "$(level "$dir")" ]; then
        echo "${file#"$src"/} includes $inc, on a floor above or beside it"
        fail=1
      fi
    done < <(sed -n 's/^#include "\([a-z_]*\/[^"]*\)".*/\1/p' "$file")
  done
done
[ "$checked" -gt 100 ] || { echo "only $checked includes found"; fail=1; }
[ $fail -eq 0 ] && echo "$checked includes, none runs up"
exit $fail
