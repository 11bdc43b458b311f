# The Windows desktop integration of tarvel.exe, sourced by run-tests.sh after its smoke tests
# (its helpers, display, prefix and clean-up):
#   D  the installer (/S /AUTOSTART) per user: the files, the Start menu and Startup
#      shortcuts with the settings folder as their working folder, the Apps and Features
#      entry, the OpenXR layer's registration, the SteamVR driver's registration (its box
#      ticked by default where SteamVR's openvrpaths.vrpath exists); no install while the program runs; the
#      program started through its shortcut keeps tarvel.ini in %APPDATA%\Tarvel-Omnix at the
#      tray menu's 終了; its tray icon comes back when a taskbar announces itself; with no
#      taskbar the close box minimises; the silent uninstall removes the program, its shortcuts, its entry and the layer's
#      registration and keeps tarvel.ini. Khronos's OpenXR loader in games over the installed
#      layer (xr-loader-tests.sh). While the program runs, the quiet uninstall string
#      removes nothing and ends with 2; an older version installed silently over a newer one
#      keeps the newer and ends with 3.
# Needs the installer that cpack makes (scripts/test-windows.sh makes it).

d_started=$SECONDS
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

step "E: silent install for the user"
installer=$(ls "$build"/package/tarvel-*-windows-x64.exe 2>/dev/null | head -1)
[[ -n $installer ]] || fail "no installer in $build/package (cpack -G NSIS)"
in_wine() { timeout 60 "$TARVEL_WINE" "$@" 2>/dev/null | tr -d '\r'; }
appdata=$(in_wine cmd /c 'echo %APPDATA%')
localappdata=$(in_wine cmd /c 'echo %LOCALAPPDATA%')
unix_of() { in_wine winepath -u "$1"; }
windows_programs="$localappdata\\Programs\\Tarvel-Omnix"
programs=$(unix_of "$windows_programs")
settings=$(unix_of "$appdata\\Tarvel-Omnix")
start_menu="$appdata\\Microsoft\\Windows\\Start Menu\\Programs"
shortcuts=("$start_menu\\Tarvel-Omnix.lnk" "$start_menu\\Startup\\Tarvel-Omnix.lnk")
# SteamVR has run for this user: the installer's SteamVR box is ticked, and registers the driver
# folder beside the other drivers listed there.
openvr_paths=$(unix_of "$localappdata\\openvr\\openvrpaths.vrpath")
mkdir -p "$(dirname "$openvr_paths")"
printf '{"external_drivers": ["C:\\\\other"], "jsonid": "vrpathreg", "version": 1}' >"$openvr_paths"
driver_json=$(sed 's/\\/\\\\/g' <<<"$windows_programs\\steamvr\\tarvel")
install_started=$SECONDS
timeout 120 "$TARVEL_WINE" "$installer" /S /AUTOSTART || fail "the silent install ended with $?"
echo "   installed in $((SECONDS - install_started)) s from $(basename "$installer")" \
  "($(stat -c %s "$installer") bytes)"
for file in tarvel.exe tarvel_xr.json README-ja.txt README-en.txt Uninstall.exe; do
  [[ -f $programs/$file ]] || fail "$file is not in $programs"
done
# The layer's DLL under a name of this install's own, named by the manifest.
layer_dll=$(sed -n 's/.*"library_path": "\.\\\\\(tarvel_xr-[0-9]*\.dll\)".*/\1/p' "$programs/tarvel_xr.json")
[[ -n $layer_dll && -f $programs/$layer_dll ]] || fail "the layer's manifest names no installed DLL"
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
# The OpenXR layer registered for the user: its manifest's path, DWORD 0.
xr_key='HKCU\Software\Khronos\OpenXR\1\ApiLayers\Implicit'
xr_value="$localappdata\\Programs\\Tarvel-Omnix\\tarvel_xr.json    REG_DWORD    0x0"
[[ $(in_wine reg query "$xr_key") == *"$xr_value"* ]] || fail "the OpenXR layer is not registered"
[[ -f $programs/steamvr/tarvel/bin/win64/driver_tarvel.dll ]] || fail "no SteamVR driver"
grep -qF "\"$driver_json\"" "$openvr_paths" && grep -qF '"C:\\other"' "$openvr_paths" ||
  fail "the SteamVR driver is not registered beside the others: $(cat "$openvr_paths")"
entry=$(in_wine reg query "$uninstall_key")
for value in "DisplayName    REG_SZ    Tarvel-Omnix" "DisplayVersion    REG_SZ    $version" \
  "UninstallString    REG_SZ    \"$localappdata\\Programs\\Tarvel-Omnix\\Uninstall.exe\"" \
  "QuietUninstallString    REG_SZ    \"$windows_programs\\Uninstall.exe\" /S _?=$windows_programs" \
  'Publisher    REG_SZ    Tarvel'; do
  [[ $entry == *"$value"* ]] || fail "the Apps and Features entry lacks $value: $entry"
done
# The quiet uninstall string, as a program that reads the entry runs it; its exit code in $code.
quiet_uninstall() {
  code=0
  timeout 120 "$TARVEL_WINE" "$windows_programs\\Uninstall.exe" /S "_?=$windows_programs" ||
    code=$?
}

source "$here/xr-loader-tests.sh"

step "E: an older version does not replace a newer one silently"
in_wine reg add "$uninstall_key" /v DisplayVersion /d 99.0.0 /f >/dev/null
code=0
timeout 120 "$TARVEL_WINE" "$installer" /S || code=$?
((code == 3)) || fail "installing $version over 99.0.0 ended with $code, not 3"
[[ $(in_wine reg query "$uninstall_key" /v DisplayVersion) == *99.0.0* ]] ||
  fail "the newer version's entry was replaced"
in_wine reg add "$uninstall_key" /v DisplayVersion /d "$version" /f >/dev/null

step "E: started through its Start menu shortcut"
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
quiet_uninstall
((code == 2)) || fail "the quiet uninstall while the program ran ended with $code, not 2"
[[ -f $programs/tarvel.exe && -f ${shortcut_files[0]} ]] ||
  fail "the quiet uninstall removed files while the program ran"

step "E: the tray icon comes back when the taskbar is created again"
close_box() {
  local xwin
  xwin=$(x_window Tarvel-Omnix)
  eval "$(xdotool getwindowgeometry --shell "$xwin")"
  xdotool mousemove $((X + WIDTH - 14)) $((Y + 11)) click 1
}
# The icon gone from Wine's tray, then Explorer's broadcast when a taskbar starts.
driver tray-forget || fail "the tray held no icon of the program"
wait_until 10 "the tray to empty" \
  bash -c '! xdotool search --onlyvisible --name "^Wine System Tray$" >/dev/null'
driver taskbar-created || fail "no taskbar"
wait_until 10 "the tray icon to come back" has_window "Wine System Tray"
close_box
wait_until 10 "the window to hide" window_is hidden
tray=$(x_window "Wine System Tray")
eval "$(xdotool getwindowgeometry --shell "$tray")"
icon_x=$((X + 12)) icon_y=$((Y + 32))
xdotool mousemove "$icon_x" "$icon_y" click 1
wait_until 10 "the tray icon to show the window" window_is visible
# The menu opens at the pointer: "表示", "グラフ" and "終了", 17 pixels each.
open_menu
xdotool mousemove $((icon_x + 25)) $((icon_y + 42)) click 1
wait_until 30 "the program to end" bash -c "! kill -0 $installed_pid 2>/dev/null"
ini=$settings/tarvel.ini
[[ -f $ini ]] || fail "no tarvel.ini in $settings after the tray menu's exit"
(($(grep -c $'\r$' "$ini") == 38)) || fail "$ini is not the program's settings file"

step "E: without a taskbar the close box minimises"
# Explorer gone (Wine cannot start its tray again in the same desktop: this comes last).
# Wine's start has been seen to fail once on a busy machine right after the taskbar came
# back; it is tried again then, and the log shows why.
# (Its output goes to a file: the program it starts inherits the descriptors.)
start_shortcut() {
  timeout 60 "$TARVEL_WINE" start /unix "${shortcut_files[1]}" >"$work/start-shortcut.log" 2>&1
}
start_shortcut && status=0 || status=$?
if ((status != 0)); then
  echo "   start of the Startup shortcut ended with $status: $(cat "$work/start-shortcut.log");" \
    "trying again"
  sleep 2
  start_shortcut || fail "the Startup shortcut did not start: $(cat "$work/start-shortcut.log")"
fi
wait_until 30 "the main window" has_window Tarvel-Omnix
installed_pid=$(prefix_pids 'Programs\\Tarvel-Omnix\\tarvel\.exe' | head -1)
explorer=$(prefix_pids 'explorer\.exe /desktop')
[[ -n $explorer ]] || fail "no Explorer in the prefix"
kill $explorer
wait_until 10 "Wine's tray to go" bash -c '! xdotool search --name "^Wine System Tray$" >/dev/null'
close_box
wait_until 10 "the window to minimise" window_is minimised
rm "$ini"
driver end-session >/dev/null
wait_until 30 "the program to end" bash -c "! kill -0 $installed_pid 2>/dev/null"
(($(grep -c $'\r$' "$ini") == 38)) || fail "the end of the session did not save $ini"
cp "$ini" "$work/installed-tarvel.ini"

step "E: silent uninstall"
quiet_uninstall
((code == 0)) || fail "the quiet uninstall ended with $code"
# The uninstaller's own file goes once it has ended.
wait_until 30 "the program's folder to go" bash -c "[[ ! -e '$programs' ]]"
for lnk in "${shortcut_files[@]}"; do
  [[ ! -e $lnk ]] || fail "the uninstall left $lnk"
done
timeout 60 "$TARVEL_WINE" reg query "$uninstall_key" >/dev/null 2>&1 &&
  fail "the uninstall left the Apps and Features entry"
[[ $(in_wine reg query "$xr_key") != *tarvel_xr.json* ]] || fail "the uninstall left the OpenXR layer"
! grep -qF "$driver_json" "$openvr_paths" && grep -qF '"C:\\other"' "$openvr_paths" ||
  fail "the uninstall did not unregister just the SteamVR driver: $(cat "$openvr_paths")"
cmp -s "$ini" "$work/installed-tarvel.ini" || fail "the uninstall did not keep $ini"
xr_all_users_tests
echo "   E took $((SECONDS - d_started)) s"
