#!/usr/bin/env bash
# Measures what the graph window costs: the CPU of the program (utime + stime of all its
# threads) and of the X server, while the simulator walks at 100 Hz, in one run with the graph
# window closed and open in turn (opened from the tray menu's グラフ, closed with the window
# manager's Alt+F4, as a user would). Runs under a private Xvfb with openbox and trayer, in a
# network namespace of its own when it can (the datagram port 127.0.0.1:12345 stays private).
# Prints one line per period and the averages. Not a test: it asserts nothing.
#   usage: tests/perf/measure-graph.sh [seconds per period, default 20] [rounds, default 3]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$root/build/linux/bin
seconds=${1:-20}
rounds=${2:-3}
source "$root/tests/perf/session.sh"
perf_own_network "$0" "$seconds" "$rounds"
perf_scratch
perf_display 1280x900
perf_desktop left
perf_datagram_sink

"$bin/tarvel-sim" --port 3 --scenario walk --rate 100 --quiet & pids+=($!)
for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
"$bin/tarvel" >tarvel.log 2>&1 & prog=$!
pids+=("$prog")
sleep 3

icon=$(xdotool search --name '^ZendraTarvel-Omnix$' | head -n 1)
[[ -n $icon ]] || { echo "no tray icon" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$icon")"
icon_x=$((X + WIDTH / 2)) icon_y=$((Y + HEIGHT / 2))
graph_window() {
  for w in $(xdotool search --name 'Omnix' 2>/dev/null); do
    [[ $(xdotool getwindowname "$w") == "Tarvel-Omnix グラフ" ]] && echo "$w"
  done | head -n 1
}
graph_open() {
  local w
  w=$(graph_window)
  [[ -n $w ]] && xwininfo -id "$w" | grep -q 'Map State: IsViewable'
}
# The menu opens with its corner at the pointer: 表示, グラフ, 終了.
open_graph() {
  xdotool mousemove "$icon_x" "$icon_y" click 3
  sleep 0.5
  xdotool mousemove $((icon_x + 20)) $((icon_y + 35)) click 1
  for _ in $(seq 50); do graph_open && break; sleep 0.1; done
  graph_open || { echo "the graph window did not open" >&2; exit 1; }
  sleep 1
}
close_graph() {
  xdotool windowactivate --sync "$(graph_window)" key alt+F4
  for _ in $(seq 50); do graph_open || break; sleep 0.1; done
  ! graph_open || { echo "the graph window did not close" >&2; exit 1; }
  sleep 1
}

hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
declare -A used=([closed]=0 [open]=0) server=([closed]=0 [open]=0)
for round in $(seq "$rounds"); do
  for state in closed open; do
    [[ $state == open ]] && open_graph
    p0=$(ticks "$prog") x0=$(ticks "$xvfb")
    sleep "$seconds"
    p1=$(ticks "$prog") x1=$(ticks "$xvfb")
    used[$state]=$((used[$state] + p1 - p0))
    server[$state]=$((server[$state] + x1 - x0))
    awk -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$seconds" \
      -v l="round $round, graph $state" \
      'BEGIN { printf "%-22s program %5.2f %%, X server %5.2f %% of one core\n", l, 100 * p / hz / s, 100 * x / hz / s }'
    [[ $state == open ]] && close_graph
  done
done
total=$((seconds * rounds))
awk -v pc="${used[closed]}" -v po="${used[open]}" -v xc="${server[closed]}" -v xo="${server[open]}" \
  -v hz="$hz" -v t="$total" 'BEGIN {
  printf "average: program closed %.2f %%, open %.2f %% (added %.2f points); X server closed %.2f %%, open %.2f %% (added %.2f points)\n",
    100 * pc / hz / t, 100 * po / hz / t, 100 * (po - pc) / hz / t,
    100 * xc / hz / t, 100 * xo / hz / t, 100 * (xo - xc) / hz / t }'
kill -TERM "$prog"
wait "$prog" || true
