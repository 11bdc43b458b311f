# Environment of every Wine run of the tests and measurements (sourced), and the COM port
# mapping they share: the program under test reads none of it. Quiet, without the Mono and
# Gecko installers, 64-bit, under the Japanese locale so that the ANSI code page is 932.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Messages of the tools (and of Wine's own dialogs) stay in English.
unset LC_ALL
export LANG=ja_JP.UTF-8
export LC_CTYPE=ja_JP.UTF-8
export LC_MESSAGES=C.UTF-8
# Debian ships no wine64 in PATH; the loader lives here.
TARVEL_WINE=${TARVEL_WINE:-/usr/lib/wine/wine64}
TARVEL_WINESERVER=${TARVEL_WINESERVER:-/usr/lib/wine/wineserver}
export TARVEL_WINE TARVEL_WINESERVER

# A COM port of the prefix (WINEPREFIX) that leads to `path` (a pseudo-terminal or a link to
# one).
register_port() {
  local number=$1 path=$2
  timeout 60 "$TARVEL_WINE" reg add 'HKLM\Software\Wine\Ports' /v "COM$number" /d "$path" /f \
    >/dev/null 2>&1
  ln -sfn "$path" "$WINEPREFIX/dosdevices/com$number"
}
