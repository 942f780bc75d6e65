#!/usr/bin/env bash
# Installs the build under a scratch DESTDIR with the prefix /usr/local, as
# `make install DESTDIR=...` does, and checks the tree a user gets: exactly
# the binary (which runs and trims), the manual page gzipped as Debian
# gzips it, the bash completion when the build made one, README.md and
# CHANGELOG.md; then that `make uninstall` with the same DESTDIR removes
# every file and colsieve's own folder.
#
# usage: install_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
src=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail=0
check() {  # what, command...
  local what=$1
  shift
  "$@" || { echo "$what"; fail=1; }
}

DESTDIR=$stage cmake --install "$build" --prefix /usr/local > /dev/null || exit 1
p=$stage/usr/local
want=(bin/colsieve share/doc/colsieve/CHANGELOG.md share/doc/colsieve/README.md
      share/man/man1/colsieve.1.gz)
[ -f "$build/colsieve.bash-completion" ] &&
  want+=(share/bash-completion/completions/colsieve)
got=$(cd "$stage" && find . -type f | sed 's|^\./usr/local/||' | sort)
check "installed files differ from the list:$(printf '\n  %s' $got)" \
  [ "$got" = "$(printf '%s\n' "${want[@]}" | sort)" ]

version=$(sed -n 's/^project(colsieve VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
check "bin/colsieve --version does not say colsieve $version" \
  [ "$("$p/bin/colsieve" --version | head -n 1)" = "colsieve $version" ]
check "bin/colsieve does not trim globins4.fa as the black-box case expects" \
  cmp -s <("$p/bin/colsieve" -i "$src/examples/globins4.fa" 2> /dev/null) \
  "$src/tests/cli/globins4_default/stdout"
check "the manual page is not colsieve.1 as gzip -9n writes it" \
  cmp -s <(gzip -9n -c "$src/colsieve.1") "$p/share/man/man1/colsieve.1.gz"
for doc in README.md CHANGELOG.md; do
  check "share/doc/colsieve/$doc is not the tree's" \
    cmp -s "$src/$doc" "$p/share/doc/colsieve/$doc"
done
if [ -f "$build/colsieve.bash-completion" ]; then
  check "the completion is not the build's" cmp -s \
    "$build/colsieve.bash-completion" "$p/share/bash-completion/completions/colsieve"
fi

make -s -C "$src" uninstall MANIFEST="$build/install_manifest.txt" \
  DESTDIR="$stage" > /dev/null || { echo "make uninstall failed"; fail=1; }
left=$(cd "$stage" && find . -type f)
check "make uninstall left files behind: $left" [ -z "$left" ]
check "make uninstall left share/doc/colsieve" [ ! -e "$p/share/doc/colsieve" ]
exit $fail
