#!/usr/bin/env bash
# The idle cost of builds of the Linux program side by side in one run, in the two states where
# nothing is walked: the platform's frames stopped (the simulator paused, its port still open)
# and the port removed (the simulator ended after the program connected). For each: CPU as a
# percentage of one core (utime + stime of all threads) and wake-ups a second (context switches
# of all threads), the programs taken in turn over several rounds.
#   usage: tools/perf/measure-idle.sh [-s SECONDS] [-r ROUNDS] PROGRAM [PROGRAM...]
#   e.g.   tools/perf/measure-idle.sh /tmp/before/tarvel build/linux/bin/tarvel
# Not a test: it asserts nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/perf/session.sh"
perf_own_network "$0" "$@"
seconds=20 rounds=3
while getopts s:r: opt; do
  case $opt in
    s) seconds=$OPTARG ;;
    r) rounds=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# > 0)) || { sed -n '6,7p' "$0" >&2; exit 2; }
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
sim=$(realpath "${TARVEL_SIM:-$root/build/linux/bin/tarvel-sim}")
perf_scratch tarvel-idle
perf_display 1280x800
perf_desktop right
perf_datagram_sink
hz=$(getconf CLK_TCK)

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
switches() {
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(non)?voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'
}
declare -A cpu wake
# sample KEY PID: CPU ticks and context switches over $seconds, summed under KEY.
sample() {
  local t0 w0 t1 w1
  t0=$(ticks "$2") w0=$(switches "$2")
  sleep "$seconds"
  t1=$(ticks "$2") w1=$(switches "$2")
  cpu[$1]=$((${cpu[$1]:-0} + t1 - t0))
  wake[$1]=$((${wake[$1]:-0} + w1 - w0))
  awk -v k="$1" -v t=$((t1 - t0)) -v w=$((w1 - w0)) -v hz="$hz" -v s="$seconds" \
    'BEGIN { printf "  %-18s %6.2f %%  %7.0f wake-ups/s\n", k, 100 * t / hz / s, w / s }'
}

for r in $(seq "$rounds"); do
  echo "round $r"
  for i in "${!programs[@]}"; do
    rm -rf "run$i" && mkdir "run$i" && cd "run$i"
    "$sim" --port 3 --scenario walk --rate 100 --quiet & simpid=$!
    for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
    "${programs[$i]}" 2>/dev/null & prog=$!
    pids+=("$simpid" "$prog")
    sleep 3
    kill -STOP "$simpid"
    sleep 1
    sample "#$i frames-stopped" "$prog"
    kill -CONT "$simpid"; kill "$simpid"; wait "$simpid" || true
    sleep 1
    sample "#$i port-removed" "$prog"
    kill -TERM "$prog"; wait "$prog" || true
    cd ..
  done
done

echo "== summary over $rounds rounds of $seconds s (% of one core; wake-ups a second)"
for state in frames-stopped port-removed; do
  for i in "${!programs[@]}"; do
    k="#$i $state"
    awk -v k="$k" -v t="${cpu[$k]}" -v w="${wake[$k]}" -v hz="$hz" -v s=$((seconds * rounds)) \
      -v t0="${cpu[#0 $state]}" -v w0="${wake[#0 $state]}" -v p="${programs[$i]}" 'BEGIN {
        printf "%-18s %6.2f %%  %7.0f wake-ups/s", k, 100 * t / hz / s, w / s
        if (k !~ /^#0/) printf "   (x%.2f CPU, x%.2f wake-ups of #0)", t0 ? t / t0 : 0, w0 ? w / w0 : 0
        printf "   %s\n", p }'
  done
done
