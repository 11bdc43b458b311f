#!/usr/bin/env bash
# Measures the datagrams of builds of tarvel.exe under Wine while the program's modal windows are
# open, side by side in one run: the simulator walks at 100 Hz on COM3, and each build in turn
# runs through periods of SECONDS with nothing open, with the tray menu open, with the open
# dialog (設定ファイル読込) open and with the save dialog (設定ファイル保存) open. A period
# starts with the click that opens the window and ends with the one that closes it. Per period:
# the datagrams that came, the longest gap between two of them (and to the period's end), the
# gaps over 20 ms, and the CPU of the program and of the wineserver. Not a test: asserts nothing.
#   usage: tests/perf/measure-modal-gap.sh [-s SECONDS] [-r ROUNDS] TARVEL_EXE [TARVEL_EXE...]
# SECONDS per period (default 10), ROUNDS (default 1). Runs in a network namespace of its own
# when it can, under a private Xvfb; the Wine prefix is build/wine-perf/prefix (as for
# measure-wine.sh); the simulator and wine_driver.exe come from this tree's build folders.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/session.sh"
perf_own_network "$0" "$@"
seconds=10 rounds=1
while getopts s:r: opt; do
  case $opt in
    s) seconds=$OPTARG ;;
    r) rounds=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# > 0)) || { sed -n '9,9p' "$0" >&2; exit 2; }
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
sim=$(realpath "${TARVEL_SIM:-$root/build/linux/bin/tarvel-sim}")
driver_exe=$root/build/windows/bin/wine_driver.exe
source "$root/tests/wine/wine-env.sh"
export WINEPREFIX=$root/build/wine-perf/prefix
bash "$root/tests/wine/wine-prefix.sh"

perf_on_exit() { "$TARVEL_WINESERVER" -k >/dev/null 2>&1; }
perf_scratch tarvel-gap
perf_display 1280x1024

# Every datagram's arrival, in seconds of the wall clock, one a line.
arrivals=$work/arrivals
python3 -c '
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 12345))
with open(sys.argv[1], "w", buffering=1) as out:
    while True:
        s.recv(4096)
        out.write(f"{time.time():.6f}\n")
' "$arrivals" &
pids+=($!)

now() { date +%s.%N; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
driver() { timeout 60 "$TARVEL_WINE" "$driver_exe" "$@"; }
x_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
# Polls `command...` every 0.1 s for at most 20 s.
await() {
  for _ in $(seq 200); do "$@" && return; sleep 0.1; done
  echo "gave up waiting for: $*" >&2
  exit 1
}
menu_open() { [[ $(driver menu) == open* ]]; }
menu_closed() { [[ $(driver menu) == closed* ]]; }
shown() { [[ -n $(x_window "$1") ]]; }
gone() { [[ -z $(x_window "$1") ]]; }

# One period: opens with `open`, holds it for SECONDS from the click, closes with `close`.
#   period LABEL OPEN CLOSE
period() {
  local label=$1 open=$2 close=$3 t0 t1 p0 p1 s0 s1
  p0=$(ticks "$prog") s0=$(ticks "$server") t0=$(now)
  eval "$open"
  sleep "$(awk -v t0="$t0" -v n="$(now)" -v s="$seconds" 'BEGIN { d = t0 + s - n; print (d > 0 ? d : 0) }')"
  t1=$(now) p1=$(ticks "$prog") s1=$(ticks "$server")
  eval "$close"
  awk -v t0="$t0" -v t1="$t1" -v l="$label" -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v hz="$hz" '
    $1 <= t0 { last = $1; next }
    $1 <= t1 { if (last && $1 - last > gap) gap = $1 - last; if (last && $1 - last > 0.02) slow++
               last = $1; n++ }
    END { if (t1 - last > gap) gap = t1 - last
          printf "  %-12s %5d datagrams, longest gap %6.1f ms, %3d gaps over 20 ms; CPU program %5.1f %%, wineserver %5.1f %%\n",
            l, n, 1000 * gap, slow, 100 * p / hz / (t1 - t0), 100 * s / hz / (t1 - t0)
          printf "%s|%s|%d|%.1f\n", i, l, n, 1000 * gap >>results }' i="$index" results="$work/results" "$arrivals"
  sleep 1
}

open_menu() {
  local tray
  tray=$(x_window "Wine System Tray")
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  for _ in 1 2 3; do
    xdotool mousemove $((X + 12)) $((Y + 32)) click 3
    for _ in $(seq 20); do menu_open && return; sleep 0.1; done
  done
  echo "the tray menu did not open" >&2
  exit 1
}
close_menu() {
  xdotool mousemove 5 1015 click 1
  await menu_closed
}
# 設定ファイル読込 and 設定ファイル保存 sit at (80, 410) and (230, 410) of the client area.
#   open_dialog X TITLE; close_dialog TITLE
open_dialog() { xdotool mousemove $((client_x + $1)) $((client_y + 420)) click 1; await shown "$2"; }
close_dialog() { driver file-dialog "" >/dev/null; await gone "$1"; }

run() {  # index
  local d=$work/run-$1-$r
  index=$1
  mkdir -p "$d"
  "$TARVEL_WINESERVER" -f -p >"$d/wineserver.log" 2>&1 & server=$!
  pids+=("$server")
  "$sim" --port 3 --dir "$d" --scenario walk --rate 100 --quiet & sim_pid=$!
  pids+=("$sim_pid")
  await test -e "$d/COM3"
  register_port 3 "$d/COM3"
  (cd "$d" && exec "$TARVEL_WINE" "${programs[$1]}" >"$d/tarvel.log" 2>&1) & prog=$!
  pids+=("$prog")
  await shown Tarvel-Omnix
  await shown "Wine System Tray"
  read -r client_x client_y < <(driver client | tr -d '\r')
  # The walk is under way once the datagrams come at the frames' pace.
  sleep 5
  echo "#$1 ${programs[$1]} (round $r)"
  period nothing : :
  period "tray menu" open_menu close_menu
  period "open dialog" "open_dialog 100 Open" "close_dialog Open"
  period "save dialog" "open_dialog 250 'Save As'" "close_dialog 'Save As'"
  kill "$prog" "$sim_pid" 2>/dev/null || true
  wait "$prog" "$sim_pid" 2>/dev/null || true
  "$TARVEL_WINESERVER" -k >/dev/null 2>&1 || true
  wait "$server" 2>/dev/null || true
}

echo "== tarvel.exe under Wine, the simulator walking at 100 Hz; periods of $seconds s"
for r in $(seq "$rounds"); do
  for i in "${!programs[@]}"; do run "$i"; done
done
echo "== over $rounds rounds: datagrams per period (mean), the longest gap of all"
awk -F'|' '{ k = $1 "|" $2; if (!(k in n)) order[++m] = k; n[k] += $3; r[k]++; if ($4 > g[k]) g[k] = $4 }
  END { for (j = 1; j <= m; j++) { split(order[j], p, "|")
          printf "  #%s %-12s %6.0f datagrams, longest gap %6.1f ms\n", p[1], p[2], n[order[j]] / r[order[j]], g[order[j]] } }' \
  "$work/results"
