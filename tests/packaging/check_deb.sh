#!/usr/bin/env bash
# Makes the .deb of the build tree (cpack -G DEB) and checks it: the control fields (library
# dependencies worked out by dpkg-shlibdeps, zenity recommended), its files, and lintian.
#   usage: check_deb.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../support/fail-trap.sh"
build=$1
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
  command -v "$tool" >/dev/null || fail "$tool is missing (bash scripts/install-deps.sh)"
done

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; fail cpack; }
debs=("$out"/tarvel_*_amd64.deb)
deb=${debs[0]}
[[ -f $deb ]] || fail "no package in $out"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == tarvel ]] || fail "Package: $(field Package)"
depends=$(field Depends)
for library in 'libc6 (>= ' libx11-6 libxft2 libxtst6 libfontconfig1; do
  grep -qF "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
grep -qw zenity <<<"$(field Recommends)" || fail "Recommends: $(field Recommends)"

listing=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | LC_ALL=C sort)
diff -u "$here/installed_files.txt" <(echo "$listing") || fail "packaged files differ"

# Errors and warnings fail; info and pedantic notes are shown.
notes=$(lintian --fail-on error,warning --display-info --pedantic "$deb" 2>&1) && clean=1 || clean=0
grep -v '^running with root' <<<"$notes" || true
((clean)) || fail "lintian reports errors or warnings"
echo "deb: $(basename "$deb"), Depends: $depends; Recommends: $(field Recommends)"
