#!/usr/bin/env bash
# The Windows part of the test run: installs the cross compiler, Wine and NSIS, builds the
# `windows` preset (tarvel.exe and the test programs), its ZIP and installer, the Linux
# simulator and Khronos's OpenXR loader for Windows (once per machine; about 4 minutes on a
# busy machine, then cached), then runs the Windows tests under Wine (tests/wine/run-tests.sh)
# in a network namespace of their own, so that the program's fixed datagram port 127.0.0.1:12345 is free
# for the test whatever else runs on the machine. Standalone and safe to run again; prints
# its duration.
set -euo pipefail
source "$(dirname "$0")/../tests/support/fail-trap.sh"
cd "$(dirname "$0")/.."
started=$SECONDS

bash scripts/install-deps.sh --windows
jobs=$(nproc)
echo "== windows: configure and build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
echo "== windows: the release packages (the ZIP, and the installer that the Wine tests run)"
packaged=$SECONDS
(cd build/windows && cpack -G "ZIP;NSIS" >/dev/null)
zip=build/windows/package/tarvel-*-windows-x64.zip
listing=$(cmake -E tar tf $zip)
for file in tarvel.exe tarvel_xr.dll tarvel_xr.json README-ja.txt README-en.txt \
  steamvr/tarvel/driver.vrdrivermanifest steamvr/tarvel/bin/win64/driver_tarvel.dll; do
  grep -q "/$file\$" <<<"$listing" || { echo "FAIL: $file missing from $zip" >&2; exit 1; }
done
echo "$(ls $zip): $(wc -l <<<"$listing") files"
installer=$(ls build/windows/package/tarvel-*-windows-x64.exe)
echo "$installer: $(stat -c %s "$installer") bytes; both packages in $((SECONDS - packaged)) s"
echo "== windows: Khronos's OpenXR loader for the tests (built once per machine, then cached)"
loader_started=$SECONDS
TARVEL_OPENXR_LOADER_DIR=$(bash tests/wine/build-openxr-loader.sh)
export TARVEL_OPENXR_LOADER_DIR
echo "$TARVEL_OPENXR_LOADER_DIR/openxr_loader.dll in $((SECONDS - loader_started)) s"
echo "== linux: the simulator"
cmake --preset linux >/dev/null
cmake --build --preset linux --target tarvel-sim -j "$jobs"

runner=(bash tests/wine/run-tests.sh build/windows build/linux/bin/tarvel-sim)
if unshare --net true 2>/dev/null; then
  unshare --net bash -c 'ip link set lo up && exec "$@"' run-tests "${runner[@]}"
else
  echo "note: no network namespace available: UDP port 12345 must be free" >&2
  "${runner[@]}"
fi
echo "== Windows tests passed in $((SECONDS - started)) s"
