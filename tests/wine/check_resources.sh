#!/usr/bin/env bash
# Reads tarvel.exe's resources back with the cross windres and checks its application manifest
# (type 24, id 1) and its version information (Explorer's Properties).
# Usage: check_resources.sh WINDRES TARVEL_EXE VERSION
set -euo pipefail
source "$(dirname "$0")/../support/fail-trap.sh"
windres=$1 exe=$2 version=$3
resources=$("$windres" -J coff -i "$exe" -O rc)
# The manifest as written: its resource's string lines joined, quotes undoubled.
manifest=$(sed -n '/^1 24 /,/^END/p' <<<"$resources" | sed -n 's/^  "\(.*\)"$/\1/p' |
  sed 's/\\n$//; s/""/"/g' | tr -s ' \n' ' ')
[[ -n $manifest ]] || { echo "FAIL: no manifest (type 24, id 1) in $exe" >&2; exit 1; }
version_info=$(sed -n '/^1 VERSIONINFO/,/^END/p' <<<"$resources")
status=0
expect() {
  local text=$1 what=$2
  [[ $text == *"$what"* ]] || { echo "FAIL: $exe lacks $what" >&2; status=1; }
}
for what in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
  "name=\"Tarvel.Omnix\" version=\"$version.0\"" 'level="asInvoker"' \
  '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' \
  '>false</dpiAware>' '>true</gdiScaling>'; do
  expect "$manifest" "$what"
done
if [[ $manifest == *"<activeCodePage"* ]]; then
  echo "FAIL: the manifest sets the ANSI code page" >&2
  status=1
fi
for what in "FILEVERSION ${version//./, }, 0" 'VALUE "ProductName", "Tarvel-Omnix"' \
  'VALUE "FileDescription", "Tarvel-Omnix"' 'VALUE "CompanyName", "Tarvel"' \
  "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
  'VALUE "Translation", 0x411, 1200'; do
  expect "$version_info" "$what"
done
((status == 0)) && echo "manifest and version information of $exe as built"
exit "$status"
