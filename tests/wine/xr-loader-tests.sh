# The OpenXR layer as installed, in games that ship Khronos's loader (built for Windows from
# Debian's sources by build-openxr-loader.sh), over the tests' stub runtime registered in
# HKLM; sourced by installer-tests.sh after its per-user install. Wine runs every process at
# high integrity, as Windows runs a game started as administrator: such a game reads only
# HKLM. TARVEL_TEST_MEDIUM_INTEGRITY=1 (the test build's switch) plays a game that is not
# elevated. Checked: the per-user layer walks in a normal game and is ignored by an elevated
# one; stale registrations beside it leave games working; an install while a game holds the
# layer ends with 0, switches new games to a new copy and leaves the running game walking;
# the install for all users (xr_all_users_tests, after the user's own uninstall) walks in an
# elevated game and its uninstall unregisters it.

step "E: Khronos's loader: the installed layer walks in a game"
xr_started=$SECONDS
loader_dir=${TARVEL_OPENXR_LOADER_DIR:-$(bash "$here/build-openxr-loader.sh")}
game=$work/xr-game
mkdir -p "$game"
cp "$build/bin/xr_loader_probe.exe" "$loader_dir/openxr_loader.dll" "$game/"
in_wine reg add 'HKLM\Software\Khronos\OpenXR\1' /v ActiveRuntime \
  /d "$(in_wine winepath -w "$build/xr/stub_runtime.json")" /f >/dev/null
# probe [--medium] MODE...: the probe game; its output in $work/xr-probe.log.
probe() {
  local medium=()
  [[ $1 == --medium ]] && medium=(env TARVEL_TEST_MEDIUM_INTEGRITY=1) && shift
  (cd "$game" && "${medium[@]}" timeout 60 "$TARVEL_WINE" xr_loader_probe.exe "$@") \
    >"$work/xr-probe.log" 2>&1 || fail "the probe game ($*): $(grep -v '^ok' "$work/xr-probe.log")"
}
probe_module() { sed -n 's/^ok   layer module: //p' "$work/xr-probe.log" | head -1 | tr -d '\r'; }
probe --medium walk
first_module=$(probe_module)
[[ $first_module == "$windows_programs\\tarvel_xr-"*.dll ]] || fail "the layer came from $first_module"
probe absent

step "E: stale registrations beside the layer leave games working"
stale=$work/xr-stale
mkdir -p "$stale"
head -c 60 "$programs/tarvel_xr.json" >"$stale/cut.json"
sed 's/"name": "[^"]*"/"name": "XR_APILAYER_TARVEL_gone"/; s/tarvel_xr-[0-9]*\.dll/gone.dll/' \
  "$programs/tarvel_xr.json" >"$stale/no-dll.json"
stale_values=()
for manifest in missing.json cut.json no-dll.json; do
  stale_values+=("$(in_wine winepath -w "$stale/$manifest")")
  in_wine reg add "$xr_key" /v "${stale_values[-1]}" /t REG_DWORD /d 0 /f >/dev/null
done
probe --medium walk
for value in "${stale_values[@]}"; do in_wine reg delete "$xr_key" /v "$value" /f >/dev/null; done

step "E: an install while a game holds the layer"
stop=$work/xr-stop
spawn bash -c 'cd "$1" && exec env TARVEL_TEST_MEDIUM_INTEGRITY=1 timeout 120 "$2" \
  xr_loader_probe.exe hold "$3"' hold "$game" "$TARVEL_WINE" "$(in_wine winepath -w "$stop")" \
  >"$work/xr-hold.log" 2>&1
holder=$last_pid
wait_until 60 "the game to hold the layer" grep -q '^holding' "$work/xr-hold.log"
held=$(sed -n 's/^holding //p' "$work/xr-hold.log" | tr -d '\r')
code=0
timeout 120 "$TARVEL_WINE" "$installer" /S || code=$?
((code == 0)) || fail "the install while a game held the layer ended with $code"
probe --medium walk
[[ $(probe_module) != "$held" ]] || fail "a game started after the install still loads $held"
[[ -f $(unix_of "$held") ]] || fail "the install removed the DLL that a game held"
touch "$stop"
wait_exit "$holder" 60
((code == 0)) || fail "the game that held the layer: $(grep -v '^ok' "$work/xr-hold.log")"

echo "   the loader's tests took $((SECONDS - xr_started)) s"

# Run by installer-tests.sh once the user's own install is gone.
xr_all_users_tests() {
  step "E: the install for all users walks in games started as administrator"
  all_users_started=$SECONDS
  code=0
  timeout 120 "$TARVEL_WINE" "$installer" /S /ALLUSERS || code=$?
  ((code == 0)) || fail "the install for all users ended with $code"
  all_users=$(in_wine cmd /c 'echo %ProgramW6432%')\\Tarvel-Omnix
  probe walk
  [[ $(probe_module) == "$all_users\\tarvel_xr-"*.dll ]] || fail "the layer came from $(probe_module)"
  code=0
  timeout 120 "$TARVEL_WINE" "$all_users\\Uninstall.exe" /S /ALLUSERS "_?=$all_users" || code=$?
  ((code == 0)) || fail "the uninstall for all users ended with $code"
  # Wine quotes the "_?=C:\Program Files\..." argument, which NSIS then does not take for its own:
  # the uninstaller hands over to a copy of itself and ends at once, so its end is waited for.
  layer_unregistered() {
    [[ $(in_wine reg query 'HKLM\Software\Khronos\OpenXR\1\ApiLayers\Implicit') != *tarvel_xr* ]]
  }
  wait_until 60 "the uninstall for all users to unregister the layer" layer_unregistered
  probe absent
  echo "   the install for all users took $((SECONDS - all_users_started)) s"
}
