#!/usr/bin/env bash
# Sets up the Wine prefix named by WINEPREFIX for the tests, once: a fresh 64-bit prefix,
# Wine's own fonts in its Fonts folder, the Japanese UI fonts substituted by IPAPGothic (also
# MS UI Gothic, which the system's dialog and caption fonts fall back on for Japanese, as on
# Windows), and windows left unmanaged (no window manager runs under the tests). Safe to run
# in parallel and again: later runs return at once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
mkdir -p "$(dirname "$WINEPREFIX")"

exec 9>"$WINEPREFIX.lock"
flock 9
[[ -f "$WINEPREFIX/.tarvel-ready" ]] && exit 0

rm -rf "$WINEPREFIX"
# No display while the prefix is made: wineboot then opens no window.
env -u DISPLAY timeout 120 "$TARVEL_WINE" wineboot --init >/dev/null 2>&1
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true

# Registry settings, as a UTF-16 .reg file (the only form regedit reads non-ASCII names in).
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
printf '%s\r\n' \
  'Windows Registry Editor Version 5.00' '' \
  '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
  '"ＭＳ Ｐゴシック"="IPAPGothic"' \
  '"ＭＳ ゴシック"="IPAGothic"' \
  '"MS PGothic"="IPAPGothic"' '"MS UI Gothic"="IPAPGothic"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
  '"Managed"="N"' '' |
  iconv -f UTF-8 -t UTF-16 >"$reg"
env -u DISPLAY timeout 60 "$TARVEL_WINE" regedit /S "$(WINEDEBUG=-all "$TARVEL_WINE" winepath -w "$reg" 2>/dev/null)" \
  >/dev/null 2>&1
timeout 60 "$TARVEL_WINESERVER" -w
touch "$WINEPREFIX/.tarvel-ready"
