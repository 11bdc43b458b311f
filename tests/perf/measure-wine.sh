#!/usr/bin/env bash
# Measures builds of tarvel.exe under Wine side by side in one run. Each in turn runs, window
# shown, with the pseudo-terminal of tarvel_latency as its COM3 (frames of the simulator's
# length at 100 Hz); over the timed frames the script takes the CPU of the program's process
# and of the wineserver, and tarvel_latency the time from each frame to the first datagram
# that shows it (median, p99). Rounds take the programs in turn.
#   usage: tests/perf/measure-wine.sh [-w] [-f FRAMES] [-r ROUNDS] TARVEL_EXE [TARVEL_EXE...]
#   e.g.   tests/perf/measure-wine.sh ../baseline/build/windows/bin/tarvel.exe \
#            build/windows/bin/tarvel.exe
# FRAMES per run (default 3000, 30 s), ROUNDS (default 2). -w streams the simulator's walk
# instead, whose every read-out moves as a user's would (CPU only, no latency figures; the
# simulator comes from TARVEL_SIM or this tree's build/linux/bin). Runs in a network namespace
# of its own when it can, so that 127.0.0.1:12345 is private, under a private Xvfb; the Wine prefix
# is build/wine-perf/prefix (made once, as for the tests); tarvel_latency comes from this
# tree's build/linux/bin unless TARVEL_LATENCY names another. Not a test: asserts nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/session.sh"
perf_own_network "$0" "$@"
frames=3000 rounds=2 walk=
while getopts wf:r: opt; do
  case $opt in
    w) walk=1 ;;
    f) frames=$OPTARG ;;
    r) rounds=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# > 0)) || { sed -n '7,9p' "$0" >&2; exit 2; }
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
latency=$(realpath "${TARVEL_LATENCY:-$root/build/linux/bin/tarvel_latency}")
sim=$(realpath "${TARVEL_SIM:-$root/build/linux/bin/tarvel-sim}")
source "$root/tests/wine/wine-env.sh"
export WINEPREFIX=$root/build/wine-perf/prefix
bash "$root/tests/wine/wine-prefix.sh"

perf_on_exit() { "$TARVEL_WINESERVER" -k >/dev/null 2>&1; }
perf_scratch
perf_display 1280x1024

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
# Timed frames last frames/100 s; the CPU window leaves a second at each end.
seconds=$((frames / 100 - 2))
((seconds >= 5)) || { echo "FRAMES must be at least 700" >&2; exit 2; }
declare -A sum_prog sum_server
results=$work/results
: >"$results"

run() {  # index
  local exe=${programs[$1]} d=$work/run-$1-$r lat prog server p0 s0 p1 s1
  mkdir -p "$d"
  "$TARVEL_WINESERVER" -f -p >"$d/wineserver.log" 2>&1 & server=$!
  pids+=("$server")
  if [[ -n $walk ]]; then
    "$sim" --port 3 --dir "$d" --scenario walk --rate 100 --quiet & lat=$!
    echo "measuring the walk (no latency figures)" >"$d/latency.log"
  else
    "$latency" --link "$d/COM3" --frames "$frames" >"$d/latency.log" 2>&1 & lat=$!
  fi
  pids+=("$lat")
  for _ in $(seq 100); do [[ -e $d/COM3 ]] && break; sleep 0.05; done
  register_port 3 "$d/COM3"
  (cd "$d" && exec "$TARVEL_WINE" "$exe" >"$d/tarvel.log" 2>&1) & prog=$!
  pids+=("$prog")
  for _ in $(seq 1500); do grep -q measuring "$d/latency.log" && break; sleep 0.1; done
  grep -q measuring "$d/latency.log" || { cat "$d/latency.log" >&2; exit 1; }
  sleep 1
  p0=$(ticks "$prog") s0=$(ticks "$server")
  sleep "$seconds"
  p1=$(ticks "$prog") s1=$(ticks "$server")
  [[ -z $walk ]] || kill "$lat"
  wait "$lat" || true
  kill "$prog" 2>/dev/null || true
  wait "$prog" 2>/dev/null || true
  "$TARVEL_WINESERVER" -k >/dev/null 2>&1 || true
  wait "$server" 2>/dev/null || true
  sum_prog[$1]=$((${sum_prog[$1]:-0} + p1 - p0))
  sum_server[$1]=$((${sum_server[$1]:-0} + s1 - s0))
  awk -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v hz="$hz" -v t="$seconds" -v i="$1" \
    'BEGIN { printf "  #%s  program %6.2f %%  wineserver %6.2f %%  ", i, 100*p/hz/t, 100*s/hz/t }'
  tail -n 1 "$d/latency.log"
  echo "#$1 $(tail -n 1 "$d/latency.log")" >>"$results"
}

echo "== tarvel.exe under Wine at 100 Hz, % of one core over $seconds s; latency of $frames frames"
for r in $(seq "$rounds"); do
  echo "round $r"
  for i in "${!programs[@]}"; do run "$i"; done
done

echo "== summary over $rounds rounds"
for i in "${!programs[@]}"; do
  echo "#$i ${programs[$i]}"
  awk -v p="${sum_prog[$i]}" -v s="${sum_server[$i]}" -v hz="$hz" -v t=$((seconds * rounds)) \
    'BEGIN { printf "   program %.2f %%, wineserver %.2f %%, together %.2f %%\n",
      100*p/hz/t, 100*s/hz/t, 100*(p+s)/hz/t }'
  grep "^#$i " "$results" | sed "s/^#$i /   /"
  if ((i > 0)); then
    awk -v a=$((sum_prog[$i] + sum_server[$i])) -v z=$((sum_prog[0] + sum_server[0])) \
      'BEGIN { printf "   program + wineserver: %.2f x #0\n", z ? a / z : 0 }'
  fi
done
