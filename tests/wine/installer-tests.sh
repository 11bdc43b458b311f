# The Windows desktop integration of tarvel.exe, sourced by run-tests.sh after its smoke tests
# (its helpers, display, prefix and clean-up):
#   D  tarvel.exe's manifest and version information as Windows reads them; the installer
#      (/S /AUTOSTART) per user: the files, the Start menu and Startup shortcuts with the
#      settings folder as their working folder, the Apps and Features entry; no install while
#      the program runs; the program started through its shortcut keeps tarvel.ini in
#      %APPDATA%\Tarvel-Omnix; its tray icon comes back when a taskbar announces itself; with
#      no taskbar the close box minimises, until one comes (a stand-in, as Wine cannot start
#      its own again) and takes the icon; the silent uninstall removes the program, its
#      shortcuts and its entry and keeps tarvel.ini.
# Needs the installer that cpack makes (scripts/test-windows.sh makes it).

step "D: tarvel.exe's manifest and version information"
d_started=$SECONDS
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
# A Linux path as Wine's drive Z: sees it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
resources=$(driver resources "$(winpath "$tarvel")" | tr -d '\r' | tr -s ' \n' ' ')
for expected in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
  'level="asInvoker"' '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' \
  '>false</dpiAware>' '>true</gdiScaling>' "name=\"Tarvel.Omnix\" version=\"$version.0\"" \
  ProductName=Tarvel-Omnix FileDescription=Tarvel-Omnix CompanyName=Tarvel \
  "FileVersion=$version" "ProductVersion=$version" Translation=041104b0; do
  [[ $resources == *"$expected"* ]] || fail "tarvel.exe's resources lack $expected"
done
[[ $resources != *"<activeCodePage"* ]] || fail "the manifest changes the ANSI code page"

step "D: silent install for the user"
installer=$(ls "$build"/package/tarvel-*-windows-x64.exe 2>/dev/null | head -1)
[[ -n $installer ]] || fail "no installer in $build/package (cpack -G NSIS)"
in_wine() { timeout 60 "$TARVEL_WINE" "$@" 2>/dev/null | tr -d '\r'; }
appdata=$(in_wine cmd /c 'echo %APPDATA%')
localappdata=$(in_wine cmd /c 'echo %LOCALAPPDATA%')
unix_of() { in_wine winepath -u "$1"; }
programs=$(unix_of "$localappdata\\Programs\\Tarvel-Omnix")
settings=$(unix_of "$appdata\\Tarvel-Omnix")
start_menu="$appdata\\Microsoft\\Windows\\Start Menu\\Programs"
shortcuts=("$start_menu\\Tarvel-Omnix.lnk" "$start_menu\\Startup\\Tarvel-Omnix.lnk")
install_started=$SECONDS
timeout 120 "$TARVEL_WINE" "$installer" /S /AUTOSTART || fail "the silent install ended with $?"
echo "   installed in $((SECONDS - install_started)) s from $(basename "$installer")" \
  "($(stat -c %s "$installer") bytes)"
for file in tarvel.exe README-ja.txt README-en.txt Uninstall.exe; do
  [[ -f $programs/$file ]] || fail "$file is not in $programs"
done
[[ -d $settings ]] || fail "no settings folder $settings"
shortcut_files=()
for lnk in "${shortcuts[@]}"; do
  shortcut_files+=("$(unix_of "$lnk")")
  [[ -f ${shortcut_files[-1]} ]] || fail "no shortcut $lnk"
  link=$(driver shortcut "$lnk" | tr -d '\r') || fail "no shortcut $lnk"
  [[ $link == *"target=$localappdata\\Programs\\Tarvel-Omnix\\tarvel.exe"* ]] ||
    fail "$lnk starts something else: $link"
  [[ $link == *"workdir=$appdata\\Tarvel-Omnix"* ]] || fail "$lnk works elsewhere: $link"
done
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvel-Omnix'
entry=$(in_wine reg query "$uninstall_key")
for value in "DisplayName    REG_SZ    Tarvel-Omnix" "DisplayVersion    REG_SZ    $version" \
  "UninstallString    REG_SZ    \"$localappdata\\Programs\\Tarvel-Omnix\\Uninstall.exe\"" \
  'QuietUninstallString' 'Publisher    REG_SZ    Tarvel'; do
  [[ $entry == *"$value"* ]] || fail "the Apps and Features entry lacks $value: $entry"
done

step "D: started through its Start menu shortcut"
# The processes of this prefix whose command line matches `pattern`.
prefix_pids() {
  local pid
  for pid in $(pgrep -f "$1"); do
    grep -qz "^WINEPREFIX=$WINEPREFIX\$" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
  done
  return 0
}
timeout 60 "$TARVEL_WINE" start /unix "${shortcut_files[0]}" ||
  fail "the shortcut did not start"
wait_until 30 "the main window" has_window Tarvel-Omnix
installed_pid=$(prefix_pids 'Programs\\Tarvel-Omnix\\tarvel\.exe' | head -1)
[[ -n $installed_pid ]] || fail "the installed tarvel.exe is not running"
[[ $(readlink "/proc/$installed_pid/cwd") == "$(readlink -f "$settings")" ]] ||
  fail "the program works in $(readlink "/proc/$installed_pid/cwd"), not in $settings"
code=0
timeout 60 "$TARVEL_WINE" "$installer" /S || code=$?
((code == 2)) || fail "an install while the program ran ended with $code, not 2"

step "D: the tray icon comes back when the taskbar is created again"
close_box() {
  local xwin
  xwin=$(x_window Tarvel-Omnix)
  eval "$(xdotool getwindowgeometry --shell "$xwin")"
  xdotool mousemove $((X + WIDTH - 14)) $((Y + 11)) click 1
}
window_is() { [[ $(driver window) == "$1"* ]]; }
under_pointer() { xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p'; }
# Chooses 終了 in the tray menu that a right press at the pointer opens with `press...`.
choose_exit() {
  local before
  before=$(under_pointer)
  "$@"
  wait_until 10 "the tray menu" bash -c "[[ \$(xdotool getmouselocation --shell |
    sed -n 's/^WINDOW=//p') != $before ]]"
  sleep 0.3
  eval "$(xdotool getmouselocation --shell)"
  xdotool mousemove $((X + 25)) $((Y + 25)) click 1
}
# The icon gone from Wine's tray, then Explorer's broadcast when a taskbar starts.
driver tray-forget || fail "the tray held no icon of the program"
wait_until 10 "the tray to empty" bash -c '! xdotool search --onlyvisible --name "^Wine System Tray$" >/dev/null'
driver taskbar-created || fail "no taskbar"
wait_until 10 "the tray icon to come back" has_window "Wine System Tray"
close_box
wait_until 10 "the window to hide" window_is hidden
tray=$(x_window "Wine System Tray")
eval "$(xdotool getwindowgeometry --shell "$tray")"
icon_x=$((X + 12)) icon_y=$((Y + 32))
xdotool mousemove "$icon_x" "$icon_y" click 1
wait_until 10 "the tray icon to show the window" window_is visible
xdotool mousemove "$icon_x" "$icon_y"
choose_exit xdotool click 3
wait_until 30 "the program to end" bash -c "! kill -0 $installed_pid 2>/dev/null"
ini=$settings/tarvel.ini
[[ -f $ini ]] || fail "no tarvel.ini in $settings after the tray menu's exit"
(($(grep -c $'\r$' "$ini") == 26)) || fail "$ini is not the program's settings file"

step "D: without a taskbar the close box minimises, until a taskbar comes"
timeout 60 "$TARVEL_WINE" start /unix "${shortcut_files[1]}" || fail "the Startup shortcut"
wait_until 30 "the main window" has_window Tarvel-Omnix
installed_pid=$(prefix_pids 'Programs\\Tarvel-Omnix\\tarvel\.exe' | head -1)
# Wine cannot start its taskbar again in the same desktop: a stand-in takes its part.
explorer=$(prefix_pids 'explorer\.exe /desktop')
[[ -n $explorer ]] || fail "no Explorer in the prefix"
kill $explorer
wait_until 10 "Wine's tray to go" bash -c '! xdotool search --name "^Wine System Tray$" >/dev/null'
close_box
wait_until 10 "the window to minimise" window_is minimised
driver restore
wait_until 10 "the window back" window_is visible
taskbar_log=$work/stand-in-taskbar.log
spawn timeout 120 "$TARVEL_WINE" "$build/bin/wine_driver.exe" taskbar 90 >"$taskbar_log" 2>&1
added='add owner=Tarvel-Omnix id=0 flags=0x7 message=0x415'
wait_until 20 "the icon on the new taskbar" grep -q "^$added" "$taskbar_log"
close_box
wait_until 10 "the window to hide" window_is hidden
driver tray-click left
wait_until 10 "the icon to show the window" window_is visible
xdotool mousemove 600 500
choose_exit driver tray-click right
wait_until 30 "the program to end" bash -c "! kill -0 $installed_pid 2>/dev/null"
grep -q '^delete owner=.* id=0 ' "$taskbar_log" || fail "the exit left its icon on the taskbar"
(($(grep -c $'\r$' "$ini") == 26)) || fail "the exit without Wine's tray did not save $ini"
cp "$ini" "$work/installed-tarvel.ini"

step "D: silent uninstall"
in_wine "$localappdata\\Programs\\Tarvel-Omnix\\Uninstall.exe" /S
# The uninstaller runs on from a copy of itself in the temporary folder.
wait_until 30 "the program's folder to go" bash -c "[[ ! -e '$programs' ]]"
for lnk in "${shortcut_files[@]}"; do
  [[ ! -e $lnk ]] || fail "the uninstall left $lnk"
done
timeout 60 "$TARVEL_WINE" reg query "$uninstall_key" >/dev/null 2>&1 &&
  fail "the uninstall left the Apps and Features entry"
cmp -s "$ini" "$work/installed-tarvel.ini" || fail "the uninstall did not keep $ini"
echo "   D took $((SECONDS - d_started)) s"
