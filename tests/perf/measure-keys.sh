#!/usr/bin/env bash
# Counts the input events that desktop mode's emulation sends, per second, for builds of the
# Linux program side by side in one run: an XInput2 listener on the root window
# (`xinput test-xi2 --root`) counts the raw key, button and motion events while the simulator's
# user walks straight ahead (side-step mode), walks into a right turn (turning mode) and stands.
# Runs in a network namespace of its own when it can, under a private Xvfb with openbox.
#   usage: tests/perf/measure-keys.sh [-s SECONDS] PROGRAM [PROGRAM...]
#   e.g.   tests/perf/measure-keys.sh /tmp/before/tarvel build/linux/bin/tarvel
# SECONDS counted per case (default 10), after 4 s for the walk to be recognised. The simulator
# comes from this tree's build/linux/bin unless TARVEL_SIM names another. Not a test: it
# asserts nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/perf/session.sh"
perf_own_network "$0" "$@"
seconds=10
while getopts s: opt; do
  case $opt in
    s) seconds=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# > 0)) || { sed -n '7,8p' "$0" >&2; exit 2; }
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
sim=$(realpath "${TARVEL_SIM:-$root/build/linux/bin/tarvel-sim}")
perf_scratch tarvel-keys
perf_display 1280x800
perf_desktop right
perf_datagram_sink

# One case: scenario $1 with move mode $2 for program $3; prints the events per second.
count() {
  printf '[emulation]\r\nappMode=1\r\nmoveMode=%s\r\n' "$2" >tarvel.ini
  "$sim" --port 3 --scenario "$1" --quiet & local simulator=$!
  pids+=("$simulator")
  for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
  "$3" & local program=$!
  pids+=("$program")
  sleep 4
  timeout -s INT "$seconds" stdbuf -oL xinput test-xi2 --root >events.txt 2>/dev/null || true
  kill -TERM "$program"; wait "$program" || true
  kill -TERM "$simulator"; wait "$simulator" || true
  # One raw event per synthetic event; the others are the same events as the slave and the
  # master device deliver them.
  awk -v s="$seconds" '
    /^EVENT type/ { all++; t = $4 }
    /^EVENT type/ && t ~ /RawKey/ { keys++ }
    /^EVENT type/ && t ~ /RawButton/ { buttons++ }
    /^EVENT type/ && t ~ /RawMotion/ { moves++ }
    END { printf "keys %7.1f/s  buttons %6.1f/s  moves %6.1f/s  all XI2 events %7.1f/s\n",
          keys / s, buttons / s, moves / s, all / s }' events.txt
}

for i in "${!programs[@]}"; do
  echo "#$i ${programs[$i]}"
  printf '  walking straight  '; count walk 0 "${programs[$i]}"
  printf '  turning           '; count turn-right 1 "${programs[$i]}"
  printf '  standing          '; count stand 0 "${programs[$i]}"
done
