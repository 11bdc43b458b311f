#!/usr/bin/env bash
# Measures what the OSC output costs: the program's CPU use (utime + stime, all threads) while
# the simulator walks at 100 Hz, in one run with the output switched off and on in turn by
# clicking its switch in the window, and the messages per second that liblo's oscdump receives
# while it is on. Runs under a private Xvfb, in a network namespace of its own when it can;
# prints one line per period and the averages.
#   usage: tests/perf/measure-osc.sh [seconds per period, default 15] [rounds, default 3]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$root/build/linux/bin
seconds=${1:-15}
rounds=${2:-3}
source "$root/tests/perf/session.sh"
perf_own_network "$0" "$seconds" "$rounds"
perf_scratch
perf_display 1280x800
perf_datagram_sink
port=9123
oscdump -L "$port" >dump.txt 2>&1 & pids+=($!)
printf '[osc]\r\nenabled=0\r\nport=%d\r\n' "$port" >tarvel.ini

"$bin/tarvel-sim" --port 3 --scenario walk --rate 100 --quiet & pids+=($!)
for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
"$bin/tarvel" & prog=$!; pids+=($prog)
sleep 3
window=$(xdotool search --name '^Tarvel-Omnix$' | head -n 1)
toggle() { xdotool mousemove --window "$window" 270 120 click 1; sleep 0.2; }

hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$prog/stat"; }
declare -A used=([off]=0 [on]=0)
messages=0
for round in $(seq "$rounds"); do
  for state in off on; do
    lines_before=$(wc -l <dump.txt)
    before=$(ticks); sleep "$seconds"; after=$(ticks)
    lines=$(($(wc -l <dump.txt) - lines_before))
    used[$state]=$((used[$state] + after - before))
    [[ $state == on ]] && messages=$((messages + lines))
    awk -v d=$((after - before)) -v hz="$hz" -v s="$seconds" -v l="round $round, output $state" \
      -v m="$lines" 'BEGIN { printf "%-22s %5.2f %% of one core, %6.1f messages/s\n", l, 100 * d / hz / s, m / s }'
    toggle
  done
done
total=$((seconds * rounds))
awk -v off="${used[off]}" -v on="${used[on]}" -v hz="$hz" -v t="$total" -v m="$messages" 'BEGIN {
  printf "average: off %.2f %%, on %.2f %% of one core (added %.2f points); %.1f messages/s (%.1f sets of three)\n",
    100 * off / hz / t, 100 * on / hz / t, 100 * (on - off) / hz / t, m / t, m / t / 3 }'
kill -TERM "$prog"; wait "$prog" || true
