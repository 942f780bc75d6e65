#!/usr/bin/env bash
# The Debian package as a user meets it: from a clean copy of the tree (the
# files git knows, with their edits; no build folders), the source package
# and `dpkg-buildpackage -us -uc -b`, lintian on the source, the .changes and
# the .deb with no error or warning, then `dpkg -i` on this machine,
# `colsieve --version`, `man -w colsieve` and the package's autopkgtest (a
# trim of a shipped example, byte for byte), and `dpkg -r`, after which the
# machine has the packages it had before and no colsieve files. Prints how
# long the build and the whole took.
#
# usage: debian_package.sh REPO
# Exits 77 (skipped) when not run as root, when a tool or a build dependency
# is missing, or when a colsieve package or /usr/bin/colsieve is already
# there (this test must not replace it), unless COLSIEVE_REQUIRE_ALL is set,
# as in CI, where each of these fails it.
set -u
repo=$(realpath "$1")
. "$(dirname "$0")/require_tool.sh"
for tool in dpkg-buildpackage dpkg-source dh lintian man; do
  require_tool "$tool"
done
cannot() {  # why
  echo "$1"
  [ -n "${COLSIEVE_REQUIRE_ALL:-}" ] && exit 1
  exit 77
}
[ "$(id -u)" -eq 0 ] || cannot "dpkg -i needs root: run as root"
case $(dpkg-query -W -f '${Status}' colsieve 2> /dev/null) in
  "" | *not-installed) ;;
  *) cannot "a colsieve package is installed here; this test would replace it" ;;
esac
[ -e /usr/bin/colsieve ] &&
  cannot "/usr/bin/colsieve is there already; this test would replace it"
(cd "$repo" && dpkg-checkbuilddeps) || cannot "build dependencies missing"

start=$SECONDS
work=$(mktemp -d)
installed=0
cleanup() {
  [ "$installed" = 1 ] && dpkg -r colsieve > /dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
fail=0
check() {  # what, command...
  local what=$1
  shift
  "$@" || { echo "$what"; fail=1; }
}

tree=$work/colsieve
mkdir "$tree"
if git -C "$repo" rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  (cd "$repo" && git ls-files -z -co --exclude-standard |
     while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
     tar --null -T - -cf -) | tar -xf - -C "$tree"
else
  tar -C "$repo" --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$tree"
fi
version=$(cd "$tree" && dpkg-parsechangelog -S Version)

(cd "$work" && dpkg-source -b colsieve) > "$work/source.log" 2>&1 ||
  { cat "$work/source.log"; echo "dpkg-source -b failed"; exit 1; }
build_start=$SECONDS
(cd "$tree" && DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=2} \
   nice -n 19 dpkg-buildpackage -us -uc -b) > "$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log"; echo "dpkg-buildpackage failed"; exit 1; }
echo "dpkg-buildpackage -us -uc -b: $((SECONDS - build_start)) s"
deb=$work/colsieve_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$work"; echo "no $deb"; exit 1; }

# lintian's own note about running as root goes to standard error.
lint=$(lintian -I --pedantic "$work"/colsieve_"$version".dsc \
         "$work"/colsieve_"$version"_*.changes "$deb" 2> /dev/null)
[ -n "$lint" ] && printf 'lintian:\n%s\n' "$lint"
if grep -q '^[EW]: ' <<< "$lint"; then
  echo "lintian reports errors or warnings"
  fail=1
fi

before=$(dpkg-query -W -f '${Package} ${Version} ${Status}\n' | sort)
dpkg -i "$deb" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log"; echo "dpkg -i failed"; installed=1; exit 1; }
installed=1
check "colsieve --version does not say colsieve ${version%%-*}" \
  [ "$(/usr/bin/colsieve --version | head -n 1)" = "colsieve ${version%%-*}" ]
check "man -w colsieve does not find the installed page" \
  [ "$(man -w colsieve 2>&1)" = /usr/share/man/man1/colsieve.1.gz ]
(cd "$tree" && AUTOPKGTEST_TMP=$work sh debian/tests/trim-example) ||
  { echo "the autopkgtest failed on the installed package"; fail=1; }

dpkg -r colsieve > "$work/remove.log" 2>&1 ||
  { cat "$work/remove.log"; echo "dpkg -r failed"; exit 1; }
installed=0
for f in /usr/bin/colsieve /usr/share/man/man1/colsieve.1.gz /usr/share/doc/colsieve; do
  check "$f is still there after dpkg -r" [ ! -e "$f" ]
done
after=$(dpkg-query -W -f '${Package} ${Version} ${Status}\n' | sort)
check "the installed packages differ from before:
$(diff <(echo "$before") <(echo "$after"))" [ "$before" = "$after" ]
echo "the whole test: $((SECONDS - start)) s"
exit $fail
