#!/usr/bin/env bash
# Installs the build tree into a staging folder as a distribution would (prefix /usr) and
# checks what lands there: the file list, the desktop entry, the AppStream metadata, the
# icon sizes, the manual pages, the OpenXR layer's manifest and the SteamVR driver's folder.
#   usage: check_install.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../support/fail-trap.sh"
build=$1
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in desktop-file-validate appstreamcli man file; do
  command -v "$tool" >/dev/null || fail "$tool is missing (bash scripts/install-deps.sh)"
done

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
listing=$(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
diff -u "$here/installed_files.txt" <(echo "$listing") || fail "installed files differ"

for program in tarvel tarvel-sim; do
  [[ -x $stage/usr/bin/$program ]] || fail "$program is not executable"
done
desktop=$stage/usr/share/applications/org.tarvel.tarvel.desktop
desktop-file-validate "$desktop" || fail "desktop entry"
grep -qx 'Exec=tarvel --config-dir' "$desktop" || fail "the desktop entry does not start in the config folder"
grep -qx 'Icon=tarvel' "$desktop" || fail "the desktop entry names another icon"
appstreamcli validate --no-net "$stage/usr/share/metainfo/org.tarvel.tarvel.metainfo.xml" ||
  fail "AppStream metadata"

# The OpenXR layer's manifest names the library relative to its own folder, as the loader
# resolves it.
implicit=$stage/usr/share/openxr/1/api_layers/implicit.d
library=$(sed -n 's/.*"library_path": "\(.*\)".*/\1/p' "$implicit/tarvel_xr.json")
[[ -f $implicit/$library ]] || fail "the OpenXR layer's manifest names $library"

# The installed program finds the SteamVR driver's folder installed with it, and registers it.
mkdir -p "$stage/home/openvr"
echo '{"jsonid": "vrpathreg", "external_drivers": null}' >"$stage/home/openvr/openvrpaths.vrpath"
XDG_CONFIG_HOME=$stage/home "$stage/usr/bin/tarvel" --steamvr register >/dev/null ||
  fail "the installed program does not register its SteamVR driver"
grep -q "\"$stage/usr/lib/tarvel/steamvr/tarvel\"" "$stage/home/openvr/openvrpaths.vrpath" ||
  fail "registered: $(cat "$stage/home/openvr/openvrpaths.vrpath")"
rm -r "$stage/home"

# Each hicolor size holds a picture of that size.
for png in "$stage"/usr/share/icons/hicolor/*x*/apps/tarvel.png; do
  size=${png%/apps/*}
  size=${size##*/}
  file "$png" | grep -q "PNG image data, ${size/x/ x }," || fail "$png is not $size"
done

# The manual pages render without a warning from man or groff.
for page in "$stage"/usr/share/man/man1/*.1.gz; do
  gzip -t "$page" || fail "$page is not gzip"
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page: $warnings"
done
echo "install: $(wc -l <<<"$listing") files, desktop entry, metadata and manual pages valid"
