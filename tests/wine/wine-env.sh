# Environment of every Wine run of the tests and measurements (sourced), and the COM port
# mapping they share: the program under test reads none of it. Quiet, without the Mono and
# Gecko installers and without Wine's menu builder (no menu entries, icons or .desktop files
# under the user's home), 64-bit, under a locale that is not Japanese (TARVEL_WINE_LANG, by
# default C.UTF-8): the program's Japanese text must be right whatever the system's code page.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# Messages of the tools (and of Wine's own dialogs) stay in English.
unset LC_ALL
export LANG=${TARVEL_WINE_LANG:-C.UTF-8}
export LC_CTYPE=$LANG
export LC_MESSAGES=C.UTF-8
# Debian ships no wine64 in PATH; the loader lives here.
TARVEL_WINE=${TARVEL_WINE:-/usr/lib/wine/wine64}
TARVEL_WINESERVER=${TARVEL_WINESERVER:-/usr/lib/wine/wineserver}
export TARVEL_WINE TARVEL_WINESERVER

# A COM port of the prefix (WINEPREFIX) that leads to `path` (a pseudo-terminal or a link to
# one). `wine reg add` is tried again when it fails or hangs on a busy machine, and says so.
register_port() {
  local number=$1 path=$2 attempt status=0
  for attempt in 1 2 3; do
    timeout 60 "$TARVEL_WINE" reg add 'HKLM\Software\Wine\Ports' /v "COM$number" /d "$path" /f \
      >/dev/null 2>&1 && status=0 && break || status=$?
    echo "   registering COM$number: wine reg add ended with $status (attempt $attempt)" >&2
  done
  ((status == 0)) || { echo "FAIL: COM$number not registered in $WINEPREFIX" >&2; return 1; }
  ln -sfn "$path" "$WINEPREFIX/dosdevices/com$number"
}
