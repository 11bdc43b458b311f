#!/usr/bin/env bash
# Measures builds of the Linux program side by side in one run, against the simulator
# streaming at 100 Hz:
#   1. the system calls of the thread that reads the serial port, per frame: strace -f on the
#      whole program for 10 s, the reader told apart by the port's descriptor in its calls;
#   2. the program's CPU (utime + stime of all its threads) with the window shown and with it
#      hidden, each beside the CPU of tarvel_bare_loop (the bare pacing: one 256-byte sendto
#      and a 1 ms sleep) over the same seconds, in rounds that take the programs in turn;
#   3. its CPU while it waits unconnected, and with the port gone after it connected.
# Runs in a network namespace of its own when it can (the datagram port 127.0.0.1:12345 and
# the single-instance socket stay private), under a private Xvfb with openbox and trayer.
#   usage: tests/perf/measure-cpu.sh [-s SECONDS] [-r ROUNDS] [-c CPU] PROGRAM [PROGRAM...]
#   e.g.   tests/perf/measure-cpu.sh ../baseline/build/linux/bin/tarvel build/linux/bin/tarvel
# SECONDS per CPU window (default 20), ROUNDS of shown and hidden windows (default 3); -c pins
# the programs and the bare loop to one CPU, so that both share whatever else runs there. The
# simulator and the bare loop come from this tree's build/linux/bin unless TARVEL_SIM and
# TARVEL_BARE_LOOP name others. Not a test: it asserts nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/perf/session.sh"
perf_own_network "$0" "$@"
seconds=20 rounds=3 pin=()
while getopts s:r:c: opt; do
  case $opt in
    s) seconds=$OPTARG ;;
    r) rounds=$OPTARG ;;
    c) pin=(taskset -c "$OPTARG") ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# > 0)) || { sed -n '12,13p' "$0" >&2; exit 2; }
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
sim=$(realpath "${TARVEL_SIM:-$root/build/linux/bin/tarvel-sim}")
bare=$(realpath "${TARVEL_BARE_LOOP:-$root/build/linux/bin/tarvel_bare_loop}")
rate=100
perf_scratch
perf_display 1280x800
perf_desktop right
perf_datagram_sink
"$sim" --port 3 --scenario walk --rate "$rate" --quiet & pids+=($!)
for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
sleep 1

# Starts program $1 in the current folder; its id goes into $prog.
start() {
  "${pin[@]}" "$1" & prog=$!
  pids+=("$prog")
  sleep 3
}
stop() { kill -TERM "$prog"; wait "$prog" || true; }
hide() {
  local window
  window=$(xdotool search --name '^Tarvel-Omnix$' | head -n 1)
  xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
  sleep 1
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
percent() { awk -v d="$1" -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * d / hz / s }'; }

echo "== reader system calls per frame (strace -f, 10 s at $rate Hz)"
for p in "${programs[@]}"; do
  start "$p"
  pts=$(readlink -f COM3)
  fd=$(find "/proc/$prog/fd" -lname "$pts" -printf '%f\n' | head -1)
  timeout -s INT 10 strace -f -qq -ttt -o trace.txt -p "$prog" || true
  stop
  # Lines: "TID SECONDS call(args) = result"; "<... call resumed>" ends a call already counted.
  awk -v fd="$fd" -v rate="$rate" -v label="$p" '
    $3 !~ /^</ && $3 ~ /^[a-z_0-9]+\(/ {
      if (first == "") first = $2
      last = $2
      name = $3; sub(/\(.*/, "", name)
      calls[$1] += 1; byname[$1, name] += 1
      if ($3 ~ "^read\\(" fd "," || $0 ~ "fd=" fd ",") serial[$1] += 1
    }
    END {
      for (t in serial) if (serial[t] > serial[reader]) reader = t
      frames = (last - first) * rate
      total = 0; for (t in calls) total += calls[t]
      printf "%s\n  %.0f frames: reader %.2f calls/frame (", label, frames, calls[reader] / frames
      sep = ""
      for (k in byname) { split(k, key, SUBSEP)
        if (key[1] == reader) { printf "%s%s %.2f", sep, key[2], byname[k] / frames; sep = ", " } }
      printf "); whole program %.1f calls/frame\n", total / frames
    }' trace.txt
done

echo "== CPU, % of one core over $seconds s windows (bare loop measured over the same seconds)"
"${pin[@]}" "$bare" & bare_pid=$!
pids+=("$bare_pid")
declare -A sum_prog sum_bare
# measure KEY: one window of the program beside the bare loop, summed under KEY.
measure() {
  local p0 b0 p1 b1
  p0=$(ticks "$prog") b0=$(ticks "$bare_pid")
  sleep "$seconds"
  p1=$(ticks "$prog") b1=$(ticks "$bare_pid")
  sum_prog[$1]=$((${sum_prog[$1]:-0} + p1 - p0))
  sum_bare[$1]=$((${sum_bare[$1]:-0} + b1 - b0))
  printf '  %-4s %-7s program %6s  bare loop %6s  ratio %s\n' "#$i" "$2" "$(percent $((p1 - p0)))" \
    "$(percent $((b1 - b0)))" "$(awk -v p=$((p1 - p0)) -v b=$((b1 - b0)) \
      'BEGIN { printf "%.2f", b ? p / b : 0 }')"
}
for r in $(seq "$rounds"); do
  echo "round $r"
  for i in "${!programs[@]}"; do
    start "${programs[$i]}"
    measure "$i shown" shown
    hide
    measure "$i hidden" hidden
    stop
  done
done

echo "== CPU while not connected"
mkdir unconnected
cd unconnected
printf '[param]\ncomID=99\n' >tarvel.ini
declare -A idle
for i in "${!programs[@]}"; do
  start "${programs[$i]}"
  p0=$(ticks "$prog"); sleep "$seconds"; p1=$(ticks "$prog")
  idle[$i]=$(percent $((p1 - p0)))
  stop
done
cd ..

echo "== CPU with the port gone (the simulator ended after the program connected)"
mkdir gone
cd gone
declare -A gone
for i in "${!programs[@]}"; do
  "$sim" --port 3 --scenario walk --rate "$rate" --quiet & gone_sim=$!
  pids+=("$gone_sim")
  for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
  start "${programs[$i]}"
  kill "$gone_sim"; wait "$gone_sim" || true
  sleep 1
  p0=$(ticks "$prog"); sleep "$seconds"; p1=$(ticks "$prog")
  gone[$i]=$(percent $((p1 - p0)))
  echo "   #$i ${gone[$i]} %"
  stop
done
cd ..

echo "== summary over $rounds rounds (% of one core; ratio hidden / bare loop)"
for i in "${!programs[@]}"; do
  echo "#$i ${programs[$i]}"
  for state in shown hidden; do
    k="$i $state"
    awk -v p="${sum_prog[$k]}" -v b="${sum_bare[$k]}" -v hz="$hz" -v s=$((seconds * rounds)) \
      -v st="$state" 'BEGIN { printf "   %-7s %6.2f %%   bare loop %6.2f %%   ratio %.2f\n",
        st, 100 * p / hz / s, 100 * b / hz / s, b ? p / b : 0 }'
  done
  echo "   waiting unconnected ${idle[$i]} %"
  echo "   port gone ${gone[$i]} %"
  if ((i > 0)); then
    for state in shown hidden; do
      awk -v a="${sum_prog[$i $state]}" -v z="${sum_prog[0 $state]}" -v st="$state" \
        'BEGIN { printf "   %s: %.2f x #0\n", st, z ? a / z : 0 }'
    done
  fi
done
