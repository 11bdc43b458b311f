#!/usr/bin/env bash
# Measures builds of the Linux program side by side in one run, each through frames-probe.py:
# frames whose values never reach a datagram, the time from the last frame to the first
# datagram at rest, and the step count of a simulated walk (against the quiet figure the same
# walk gives). Run it once quiet and once beside a load, e.g. `stress-ng --cpu 4`.
#   usage: tests/perf/measure-frames.sh [-n RUNS] PROGRAM [PROGRAM...]
# The walk comes from this tree's build/linux/bin/tarvel-sim unless TARVEL_SIM names another.
# Not a test: it asserts nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/perf/session.sh"
perf_own_network "$0" "$@"
runs=1
while getopts n: opt; do
  case $opt in
    n) runs=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# > 0)) || { sed -n '6p' "$0" >&2; exit 2; }
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
sim=$(realpath "${TARVEL_SIM:-$root/build/linux/bin/tarvel-sim}")
perf_scratch
perf_display 1280x800
perf_desktop right
"$sim" --stdout --quiet --scenario walk --frames 1500 >walk.frames
for r in $(seq "$runs"); do
  for i in "${!programs[@]}"; do
    echo "== run $r, #$i ${programs[$i]}"
    rm -rf "p$i" && mkdir "p$i" && cd "p$i"
    # The probe stands for the platform, whose controller never falls behind: it runs ahead of
    # the load (as root; otherwise nice says so and it runs as it is).
    nice -n -10 python3 "$root/tests/perf/frames-probe.py" --walk ../walk.frames >probe.log 2>&1 &
    probe=$!
    for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
    "${programs[$i]}" 2>program.log & prog=$!
    pids+=("$prog")
    echo "$prog" >program.pid
    wait "$probe" || true
    sed 's/^/   /' probe.log
    kill "$prog" 2>/dev/null || true
    [[ -n "${KEEP_LOG:-}" ]] && cat program.log
    cd ..
  done
done
