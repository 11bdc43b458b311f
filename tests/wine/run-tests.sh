#!/usr/bin/env bash
# Runs the Windows tests under Wine: the unit test programs (ctest, with a pair of COM ports
# and a display), then smoke tests of tarvel.exe itself against the simulator on a COM port:
#   A  VR mode: datagrams on 127.0.0.1:12345, a screenshot, a second copy that shows the box
#      and ends with 0, unplug and replug, the close box hides the window, a second copy shows
#      it again, the tray icon shows it again, datagrams go on while the open dialog and then the tray menu are open, the
#      tray menu's graph opens the graph window painted and its close box closes it, the tray
#      menu's exit saves ./tarvel.ini in CR LF text and ends with 0;
#   B  desktop mode: a low-level keyboard hook sees W, A and D arrive while the simulator
#      walks and leans; the end of the session (WM_ENDSESSION) saves, lets go of every key
#      and ends with 0;
#   C  no port: the program waits for messages instead of turning round;
#   D  the OSC output read by liblo's oscdump (a Linux program on 127.0.0.1:9000, which Wine's
#      sockets reach): addresses, type tags and values while walking and turning, zeros when
#      the platform stops and at the end of the session; the [walk] settings and the run key
#      saved as loaded, a bad one as its default with a line on stderr.
#   E  the installer, the shortcuts, the tray icon when the taskbar comes (back) and the
#      uninstaller (installer-tests.sh).
#   F  in a folder named in Japanese and with accents: settings loaded and saved there through
#      the file dialogs. All under a locale that is not Japanese; Wine adds no menu entries.
# Usage: run-tests.sh BUILD_DIR SIMULATOR. Every process it starts is stopped by its id, and
# Wine by wineserver -k, whatever the outcome. scripts/test-windows.sh runs it in a network
# namespace of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
sim=$(realpath "$2")
source "$here/wine-env.sh"
export WINEPREFIX=$build/wine-prefix
work=$build/wine-run
tarvel=$build/bin/tarvel.exe

pids=()
cleanup() {
  local status=$?
  trap - ERR
  set +e
  "$TARVEL_WINESERVER" -k >/dev/null 2>&1
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  ((status == 0)) || echo "Windows tests FAILED; logs and screenshots in $work" >&2
  exit "$status"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() {
  current_step=$*
  echo "-- $*"
}
current_step="start"
source "$here/../support/fail-trap.sh"

# Polls `command...` every 0.2 s until it succeeds; fails after `seconds`.
wait_until() {
  local seconds=$1 what=$2
  shift 2
  local tries=$((seconds * 5))
  until "$@"; do
    ((--tries > 0)) || fail "gave up waiting for $what"
    sleep 0.2
  done
}

# Starts a background command; its id goes into $last_pid and the clean-up list.
spawn() {
  "$@" &
  last_pid=$!
  pids+=("$last_pid")
}

# Waits at most `seconds` for a background process to end; its exit code goes into $code.
wait_exit() {
  local pid=$1 seconds=$2
  wait_until "$seconds" "process $pid to end" bash -c "! kill -0 $pid 2>/dev/null"
  code=0
  wait "$pid" || code=$?
}

driver() { timeout 60 "$TARVEL_WINE" "$build/bin/wine_driver.exe" "$@"; }

# Starts tarvel.exe in the folder `dir` (its ./tarvel.ini lives there).
# start_tarvel FOLDER LOG [ARGUMENT...]
start_tarvel() {
  local dir=$1 log=$2
  shift 2
  spawn bash -c 'cd "$1" && shift && exec timeout -k 5 300 "$@"' tarvel "$dir" "$TARVEL_WINE" \
    "$tarvel" "$@" >"$work/$log" 2>&1
  tarvel_pid=$last_pid
}

# How many pixels of the screenshot's area `geometry` (WxH+X+Y) have exactly colour `rgb`.
pixels_of() {
  local png=$1 geometry=$2 rgb=$3
  convert "$png" -crop "$geometry" +repage -fill black +opaque "rgb($rgb)" \
    -fill white -opaque "rgb($rgb)" -format '%[fx:round(mean*w*h)]' info:
}

shot() { import -window root "$work/$1.png"; }

# The window's X id (title matched whole), or nothing; has_window: whether there is one.
x_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
has_window() { [[ -n $(x_window "$1") ]]; }
# The program's own main window, as Windows sees it (an X window of that title may be a message
# box of the same caption, or show before the window can be found by its class).
has_main_window() { driver window >/dev/null; }

# ---------------------------------------------------------------------------------------
step "fresh Wine prefix, display and COM ports"
"$TARVEL_WINESERVER" -k >/dev/null 2>&1 || true
rm -rf "$work" "$WINEPREFIX" "$WINEPREFIX.lock"
mkdir -p "$work"
touch "$work/started"
bash "$here/wine-prefix.sh"
# One server for the whole run, started here so that its output stays out of the programs'.
"$TARVEL_WINESERVER" -p >"$work/wineserver.log" 2>&1

spawn Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" \
  >"$work/xvfb.log" 2>&1
wait_until 20 "Xvfb" test -s "$work/display"
export DISPLAY=":$(cat "$work/display")"

spawn socat "PTY,link=$work/COM5,raw,echo=0" "PTY,link=$work/COM6,raw,echo=0"
wait_until 20 "the COM port pair" test -e "$work/COM6"
register_port 5 "$work/COM5"
register_port 6 "$work/COM6"

step "unit tests under Wine"
TARVEL_TEST_COM_PAIR=5,6 ctest --test-dir "$build" --output-on-failure -j 2 --timeout 300

# ---------------------------------------------------------------------------------------
step "A: VR mode against the simulator on COM3"
a=$work/vr
mkdir -p "$a"
spawn "$sim" --scenario walk --port 3 --dir "$a" 2>"$work/sim-vr.log"
sim_pid=$last_pid
wait_until 20 "the simulator's port" test -e "$a/COM3"
register_port 3 "$a/COM3"
datagrams=$work/datagrams.bin
: >"$datagrams"
spawn socat -u UDP-RECV:12345,bind=127.0.0.1 "OPEN:$datagrams,append"
start_tarvel "$a" tarvel-vr.log
first=$tarvel_pid

wait_until 60 "200 datagrams" bash -c "(( \$(stat -c %s '$datagrams') >= 200 * 256 ))"
size=$(stat -c %s "$datagrams")
((size % 256 == 0)) || fail "the datagram file holds $size bytes, not whole 256-byte records"
record=$(head -c 256 "$datagrams" | LC_ALL=C tr '\0\376' '\n\n' | head -1)
text_length=${#record}
[[ $(awk -F, '{ print NF }' <<<"$record") == 17 ]] || fail "record without 17 fields: $record"
[[ $record =~ ^0,0,(-?[0-9]+\.[0-9]{6},){14}-?[0-9]+\.[0-9]{6}$ ]] ||
  fail "record not in the documented form: $record"
tail_bytes=$(head -c 256 "$datagrams" | tail -c $((256 - text_length)) | od -v -An -tx1 | tr -d ' \n')
expected_tail="0a00$(printf 'fe%.0s' $(seq $((256 - text_length - 2))))"
[[ $tail_bytes == "$expected_tail" ]] || fail "the record does not end in LF, NUL and 0xFE filler"
echo "   $((size / 256)) datagrams of 256 bytes, e.g. $record"

# The window, centred on the 1280 x 1024 screen, in the program's colours and font.
wait_until 20 "the main window" has_window Tarvel-Omnix
window=440x475+420+274
# Painted once the dark background fills most of the window.
painted() {
  shot tarvel-vr
  (($(pixels_of "$work/tarvel-vr.png" "$window" 25,25,25) > 100000))
}
wait_until 20 "the window to be painted" painted
sleep 0.5
shot tarvel-vr
background=$(pixels_of "$work/tarvel-vr.png" "$window" 25,25,25)
white=$(pixels_of "$work/tarvel-vr.png" "$window" 255,255,255)
cyan=$(pixels_of "$work/tarvel-vr.png" "$window" 0,255,255)
button=$(pixels_of "$work/tarvel-vr.png" "$window" 150,0,0)
echo "   screenshot: $background background, $white white, $cyan cyan, $button button pixels"
((background > 100000)) || fail "the window's background is missing from the screenshot"
((white > 1500 && button > 1000)) || fail "the window's texts or buttons are missing"
# "各センサ値：" sits at (10, 50) of the client area.
read -r client_x client_y < <(driver client | tr -d '\r')
label=$(pixels_of "$work/tarvel-vr.png" "85x17+$((client_x + 10))+$((client_y + 50))" 255,255,255)
((label > 40)) || fail "no text where the sensor heading belongs ($label white pixels)"

step "A: a second copy shows the box and ends with 0"
start_tarvel "$a" tarvel-second.log
second=$tarvel_pid
wait_until 30 "the box" has_window ZendraTarvel-Omnix
sleep 0.5
shot second-copy
box_text=$(driver box ZendraTarvel-Omnix | tr -d '\r')
[[ $box_text == "$(printf 'すでに起動しています' | od -An -tx1 | tr -d ' \n' | tr a-f A-F)" ]] ||
  fail "box text $box_text"
wait_exit "$second" 30
((code == 0)) || fail "the second copy ended with $code"
[[ ! -e $a/tarvel.ini ]] || fail "the second copy wrote ./tarvel.ini"

step "A: unplug and replug"
kill -USR1 "$sim_pid"
wait_until 20 "the port to come back" grep -q "plugged in again" "$work/sim-vr.log"
wait_until 20 "the reader to reopen the port" \
  bash -c "(( \$(grep -c 'reader attached' '$work/sim-vr.log') >= 2 ))"
sleep 1
offset=$(stat -c %s "$datagrams")
sleep 2
distinct=$(tail -c +$((offset + 1)) "$datagrams" | LC_ALL=C tr '\0\376' '\n\n' | grep -a , |
  cut -d, -f3-5 | sort -u | wc -l)
echo "   $distinct distinct averages in the 2 s after the replug"
((distinct >= 10)) || fail "no fresh readings after the replug"

step "A: the close box hides, the tray icon shows, the tray menu ends"
xwin=$(x_window Tarvel-Omnix)
eval "$(xdotool getwindowgeometry --shell "$xwin")"
xdotool mousemove $((X + WIDTH - 14)) $((Y + 11)) click 1
# Whether the driver reports the main window as $1 (hidden or visible).
window_is() { [[ $(driver window) == "$1"* ]]; }
wait_until 10 "the window to hide" window_is hidden
kill -0 "$first" || fail "closing the window ended the program"
# Another start shows the hidden window besides its box (the tray icon may be out of reach).
start_tarvel "$a" tarvel-third.log
third=$tarvel_pid
wait_until 30 "the second copy's box" has_window ZendraTarvel-Omnix
wait_until 10 "the second copy to show the running copy's window" window_is visible
driver box ZendraTarvel-Omnix >/dev/null
wait_exit "$third" 30
xdotool mousemove $((X + WIDTH - 14)) $((Y + 11)) click 1
wait_until 10 "the window to hide again" window_is hidden
tray=$(x_window "Wine System Tray")
[[ -n $tray ]] || fail "no tray window"
eval "$(xdotool getwindowgeometry --shell "$tray")"
icon_x=$((X + 12)) icon_y=$((Y + 32))
xdotool mousemove "$icon_x" "$icon_y" click 1
wait_until 10 "the window to show again" window_is visible
# Beside the open dialog (設定ファイル読込 at (80, 410)) the loop goes on too: 200 datagrams.
xdotool mousemove $((client_x + 100)) $((client_y + 420)) click 1
wait_until 20 "the open dialog" has_window Open
before=$(stat -c %s "$datagrams")
wait_until 30 "200 datagrams with the open dialog open" \
  bash -c "(( \$(stat -c %s '$datagrams') >= $before + 200 * 256 ))"
has_window Open || fail "the open dialog closed by itself"
driver file-dialog "" >/dev/null
wait_until 20 "the open dialog to close" bash -c "! xdotool search --onlyvisible --name '^Open\$'"
wait_until 20 "the main window to take clicks again" driver enabled
# Asked of Wine, not of X: Wine's own tray window may lie over the menu's first item.
menu_is_open() { [[ $(driver menu) == open* ]]; }
# A right click that Wine's tray loses on a busy machine is made again, as a user would, and
# the log says so.
open_menu() {
  local attempt
  for attempt in 1 2 3; do
    ((attempt == 1)) || echo "   the tray menu did not open; clicking again"
    xdotool mousemove "$icon_x" "$icon_y" click 3
    for _ in $(seq 10); do
      menu_is_open && { sleep 0.3; return; }
      sleep 0.3
    done
  done
  shot no-tray-menu
  fail "gave up waiting for the tray menu"
}
open_menu
shot tray-menu
# The loop goes on behind the open menu: 200 datagrams come, and the menu is still open.
before=$(stat -c %s "$datagrams")
wait_until 30 "200 datagrams with the tray menu open" \
  bash -c "(( \$(stat -c %s '$datagrams') >= $before + 200 * 256 ))"
menu_is_open || fail "the tray menu closed by itself"
# The menu opens at the pointer: "表示", "グラフ" and "終了", 17 pixels each.
xdotool mousemove $((icon_x + 25)) $((icon_y + 25)) click 1
graph_is() { [[ $(driver graph) == "$1"* ]]; }
wait_until 10 "the graph window" graph_is visible
sleep 1.5
shot tarvel-graph
# Drawn off-screen and copied whole: the band of straight ahead, RGB(30,75,40), is there.
band=$(pixels_of "$work/tarvel-graph.png" 1280x1024+0+0 30,75,40)
echo "   graph window: $band pixels of the straight-ahead band"
((band > 10000)) || fail "the graph window is not painted"
graph=$(x_window "Tarvel-Omnix グラフ")
[[ -n $graph ]] || fail "no X window for the graph window"
eval "$(xdotool getwindowgeometry --shell "$graph")"
xdotool mousemove $((X + WIDTH - 14)) $((Y + 11)) click 1
wait_until 10 "the graph window to close" graph_is hidden
kill -0 "$first" || fail "closing the graph window ended the program"
open_menu
xdotool mousemove $((icon_x + 25)) $((icon_y + 42)) click 1
wait_exit "$first" 30
((code == 0)) || fail "the program ended with $code after the tray menu's exit"
ini=$a/tarvel.ini
[[ -f $ini ]] || fail "no ./tarvel.ini after the exit"
lines=$(grep -c '' "$ini")
crlf=$(grep -c $'\r$' "$ini")
((lines == 38 && crlf == 38)) || fail "./tarvel.ini: $lines lines, $crlf ending in CR LF"
[[ $(sed -n 28p "$ini") == $'[osc]\r' ]] || fail "./tarvel.ini: [osc] does not follow the 27 lines"
grep -q $'^comID=3\r$' "$ini" && grep -q $'^numStep=[1-9][0-9]*\r$' "$ini" ||
  fail "./tarvel.ini does not hold the run's settings and steps"
echo "   saved: $(tr -d '\r' <"$ini" | grep numStep)"
kill "$sim_pid"
# Asked from a console (here its redirected output), the GUI program answers without a window.
xr_status=$(timeout 60 "$TARVEL_WINE" "$tarvel" --xr-status 2>/dev/null | tr -d '\r')
[[ $xr_status == XR：* ]] || fail "--xr-status printed '$xr_status'"

# ---------------------------------------------------------------------------------------
step "B: desktop mode, key strokes seen by a low-level keyboard hook"
b=$work/desktop
mkdir -p "$b"
printf '[param]\r\ncomID=3\r\n[emulation]\r\nappMode=1\r\n' >"$b/tarvel.ini"
spawn "$sim" --sequence "walk:4,lean-left:4,lean-right:4" --port 3 --dir "$b" \
  2>"$work/sim-desktop.log"
wait_until 20 "the simulator's port" test -e "$b/COM3"
register_port 3 "$b/COM3"
keys=$work/keys.log
spawn timeout 120 "$TARVEL_WINE" "$build/bin/wine_driver.exe" watch-keys 90 >"$keys" 2>&1
wait_until 30 "the key watcher" grep -q watching "$keys"
start_tarvel "$b" tarvel-desktop.log
third=$tarvel_pid
# Injected presses (flags 0x10) of W, A and D with their scan codes, and W released (0x90).
for key in "down vk=0x57 scan=0x11 flags=0x10" "down vk=0x41 scan=0x1E flags=0x10" \
  "down vk=0x44 scan=0x20 flags=0x10" "up vk=0x57 scan=0x11 flags=0x90"; do
  wait_until 60 "$key" grep -q "^$key" "$keys"
done
echo "   $(grep -c '^down' "$keys") presses, $(grep -c '^up' "$keys") releases seen"
shot tarvel-desktop

step "B: the end of the session saves like the exit command"
driver end-session >/dev/null
wait_exit "$third" 30
((code == 0)) || fail "the program ended with $code at the end of the session"
grep -q $'^appMode=1\r$' "$b/tarvel.ini" && (($(grep -c $'\r$' "$b/tarvel.ini") == 38)) ||
  fail "the session's end did not save ./tarvel.ini"
# Nothing stays held: the last event of each key is its release.
released() {
  for vk in 0x57 0x41 0x44; do [[ $(grep "vk=$vk " "$keys" | tail -n 1) == up* ]] || return 1; done
}
wait_until 10 "W, A and D let go" released

# ---------------------------------------------------------------------------------------
step "C: without a port the program waits instead of turning round"
c=$work/unconnected
mkdir -p "$c"
printf '[param]\r\ncomID=9\r\n' >"$c/tarvel.ini"
start_tarvel "$c" tarvel-unconnected.log
fourth=$tarvel_pid
wait_until 30 "the main window" has_window Tarvel-Omnix
sleep 2
shot tarvel-unconnected
process=$(pgrep -P "$fourth" | head -1)
ticks() { awk '{ print $14 + $15 }' "/proc/$process/stat"; }
before=$(ticks)
sleep 3
used=$(($(ticks) - before))
hz=$(getconf CLK_TCK)
echo "   CPU time in 3 s without a port: $((used * 1000 / hz)) ms"
((used * 1000 / hz < 600)) || fail "the program keeps a core busy while not connected"
driver end-session >/dev/null
wait_exit "$fourth" 30
((code == 0)) || fail "the program ended with $code"

# ---------------------------------------------------------------------------------------
step "D: the OSC output, read by oscdump"
d=$work/osc
mkdir -p "$d"
# The speeds of the window whatever the cadence; runCadence cannot be used.
printf '[param]\r\ncomID=3\r\n[emulation]\r\nmoveMode=1\r\nrunKeyCode=16\r\n[osc]\r\nenabled=1\r\n%b' \
  '[walk]\r\ncadenceSpeed=0\r\nwalkCadence=90.5\r\nrunCadence=fast\r\nrunSpeed=0.8\r\n' >"$d/tarvel.ini"
dump=$work/oscdump.txt
spawn oscdump -L 9000 >"$dump" 2>&1
spawn "$sim" --sequence "walk:3,turn-left:3,diagonal-right:3" --port 3 --dir "$d" \
  2>"$work/sim-osc.log"
osc_sim=$last_pid
wait_until 20 "the simulator's port" test -e "$d/COM3"
register_port 3 "$d/COM3"
# Recording the stream too, named on the command line.
start_tarvel "$d" tarvel-osc.log --record walk.txt
fifth=$tarvel_pid
# The values of each message three at a time (Vertical, Horizontal, LookHorizontal).
triples() { awk '{ print $4 }' "$dump" | paste -d, - - -; }
has_triple() { triples | grep -qx "$1"; }
for row in 0.250000,0.000000,0.000000 0.000000,0.000000,-0.150000 0.250000,0.080000,0.000000; do
  wait_until 60 "the axes $row" has_triple "$row"
done
# Settled: no new line for a second.
settled() {
  local before
  before=$(wc -l <"$dump")
  sleep 1
  (($(wc -l <"$dump") == before))
}
kill "$osc_sim"
wait_until 20 "the messages to stop" settled
# Every line is one message with one float, the addresses in their order (read once the
# messages have stopped, so that no set is still being written).
bad=$(grep -Evc '^[0-9a-f]{8}\.[0-9a-f]{8} /input/(Vertical|Horizontal|LookHorizontal) f -?[01]\.[0-9]{6}$' "$dump" || true)
((bad == 0)) || fail "oscdump shows $bad lines that are no one-float axis message"
order=$(awk '{ print $2 }' "$dump" | paste -d' ' - - - | sort -u)
[[ $order == "/input/Vertical /input/Horizontal /input/LookHorizontal" ]] ||
  fail "the messages do not come as Vertical, Horizontal, LookHorizontal: $order"
echo "   $(triples | wc -l) sets of axes, e.g. $(triples | sort | uniq -c | sort -rn | head -4 | xargs)"
stopped=$(triples | wc -l)
[[ $(triples | tail -n 1) == 0.000000,0.000000,0.000000 ]] || fail "no zeros when the platform stopped"
[[ $(triples | tail -n 2 | head -n 1) != 0.000000,0.000000,0.000000 ]] ||
  fail "the zeros at the stop came more than once"
driver end-session >/dev/null
wait_exit "$fifth" 30
((code == 0)) || fail "the program ended with $code at the end of the session"
wait_until 10 "the zeros at the end" bash -c "(( \$(wc -l <'$dump') >= 3 * ($stopped + 1) ))"
sleep 1
(($(triples | wc -l) == stopped + 1)) || fail "not exactly one set of zeros at the end"
[[ $(triples | tail -n 1) == 0.000000,0.000000,0.000000 ]] || fail "no zeros at the end"
grep -q $'^enabled=1\r$' "$d/tarvel.ini" || fail "the OSC switch was not saved"
walk=$(sed -n '/^\[walk\]\r$/,$p' "$d/tarvel.ini" | tr -d '\r' | xargs)
[[ $walk == "[walk] cadenceSpeed=0 walkCadence=90.50 runCadence=170.00 runSpeed=0.80" ]] ||
  fail "[walk] was saved as: $walk"
grep -q $'^runKeyCode=16\r$' "$d/tarvel.ini" || fail "the run key was not saved"
grep -q '\[walk\] runCadence=fast cannot be used, 170 instead' "$work/tarvel-osc.log" ||
  fail "no line on stderr for runCadence=fast"
# The recording holds the simulator's frames as they came, written out at the end of the session.
frames=$(grep -c $'^!.*\r$' "$d/walk.txt" 2>/dev/null || true)
((frames > 100)) || fail "--record walk.txt holds ${frames:-no} lines of the stream"
echo "   --record walk.txt: $(stat -c %s "$d/walk.txt") bytes, $frames lines"

# ---------------------------------------------------------------------------------------
step "F: a folder named in Japanese and with accents: settings loaded and saved there"
f="$work/設定 café"
mkdir -p "$f"
printf '[param]\r\ncomID=9\r\n' >"$f/tarvel.ini"
printf '[param]\r\ncomID=9\r\nwalkFThreshold=0.75\r\n' >"$f/other.ini"
start_tarvel "$f" tarvel-folder.log
sixth=$tarvel_pid
wait_until 30 "the main window" has_main_window
read -r client_x client_y < <(driver client | tr -d '\r')
# 設定ファイル読込 and 設定ファイル保存 at (80, 410) and (230, 410): the dialogs start in the
# working folder and give back the chosen file's full name.
xdotool mousemove $((client_x + 100)) $((client_y + 420)) click 1
driver file-dialog other.ini >/dev/null || fail "no open dialog"
wait_until 20 "the open dialog to close" \
  bash -c "! xdotool search --onlyvisible --name '^Open\$' 2>/dev/null"
# A click that comes before the load has ended is dropped, as any command inside another's is.
wait_until 20 "the main window to take clicks again" driver enabled
xdotool mousemove $((client_x + 250)) $((client_y + 420)) click 1
driver file-dialog saved >/dev/null || fail "no save dialog"
wait_until 20 "saved.ini" test -f "$f/saved.ini"
grep -q $'^walkFThreshold=0.75\r$' "$f/saved.ini" || fail "saved.ini lacks other.ini's values"
driver end-session >/dev/null
wait_exit "$sixth" 30
((code == 0)) || fail "the program ended with $code"
grep -q $'^walkFThreshold=0.75\r$' "$f/tarvel.ini" ||
  fail "./tarvel.ini in $f was not saved there with the loaded values"

# ---------------------------------------------------------------------------------------
source "$here/installer-tests.sh"

step "nothing of Wine's in the user's menus"
left=$(find "$HOME/.local/share/applications" "$HOME/.local/share/desktop-directories" \
  "$HOME/.config/menus" -type f -newer "$work/started" -print0 2>/dev/null |
  xargs -0 -r grep -l "$WINEPREFIX" 2>/dev/null || true)
[[ -z $left ]] || fail "Wine's menu builder left $left"

echo "-- Windows smoke tests passed; screenshots in $work"
