#!/usr/bin/env bash
# Measures the delay from a sensor frame to the SteamVR driver's joystick update: the program
# runs with [openxr] enabled=1 under a private Xvfb, fed 100 frames a second by tarvel_latency,
# which loads the built driver in the test host and calls its RunFrame at 90 Hz, as vrserver
# does. Prints the median, p99 and maximum.
#   usage: tools/perf/measure-vr.sh [FRAMES, default 3000]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$root/build/linux/bin
source "$root/tests/perf/session.sh"
perf_own_network "$0" "$@"
perf_scratch tarvel-vr
perf_display 1280x800
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work
printf '[param]\r\ncomID=3\r\n[openxr]\r\nenabled=1\r\n' >tarvel.ini
"$bin/tarvel" & pids+=($!)
"$bin/tarvel_latency" --link COM3 --vr 1 --frames "${1:-3000}"
