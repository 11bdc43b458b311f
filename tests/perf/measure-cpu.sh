#!/usr/bin/env bash
# Measures the program's own CPU use (utime + stime of its process, all
# threads) while the simulator streams at 100 Hz: with the window shown, with
# it hidden in the tray, and while waiting unconnected. Runs under a private
# Xvfb with openbox and trayer; prints one line per state.
#   usage: tests/perf/measure-cpu.sh [seconds per state, default 20]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$root/build/linux/bin
seconds=${1:-20}
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
cd "$work"

exec 3< <(Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 1280x800x24 2>/dev/null)
pids+=($!)
read -r -u 3 display
export DISPLAY=":$display"
openbox --sm-disable >/dev/null 2>&1 & pids+=($!)
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 & pids+=($!)
socat -u UDP-RECV:12345,bind=127.0.0.1 /dev/null & pids+=($!)
sleep 1

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
measure() {  # pid label
  local hz before after
  hz=$(getconf CLK_TCK)
  before=$(ticks "$1"); sleep "$seconds"; after=$(ticks "$1")
  awk -v d=$((after - before)) -v hz="$hz" -v s="$seconds" -v l="$2" \
    'BEGIN { printf "%-28s %5.2f %% of one core\n", l, 100 * d / hz / s }'
}

"$bin/tarvel-sim" --port 3 --scenario walk --rate 100 --quiet & pids+=($!)
for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
"$bin/tarvel" & prog=$!; pids+=($prog)
sleep 3
measure "$prog" "connected, window shown"
window=$(xdotool search --name '^Tarvel-Omnix$' | head -n 1)
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
sleep 1
measure "$prog" "connected, window hidden"
kill -TERM "$prog"; wait "$prog" || true

printf '[param]\ncomID=99\n' > tarvel.ini
"$bin/tarvel" & prog=$!; pids+=($prog)
sleep 2
measure "$prog" "not connected, waiting"
kill -TERM "$prog"; wait "$prog" || true
