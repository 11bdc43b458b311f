#!/usr/bin/env bash
# Runs the program against the simulated platform: the simulator pretends to
# be a platform on ./COM3 with a user on it, the program connects to it.
# On a desktop the window opens on your display; with no display the program
# runs under a private Xvfb for a while, and a screenshot and a sample of the
# datagrams are written next to it.
#   usage: scripts/run-demo.sh [scenario] (default: tour; see tarvel-sim --help)
#   TARVEL_DEMO_SECONDS: how long the headless run lasts (default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scenario=${1:-tour}
seconds=${TARVEL_DEMO_SECONDS:-10}

bash "$root/scripts/install-deps.sh"
bin=$root/build/linux/bin
if [[ ! -x $bin/tarvel || ! -x $bin/tarvel-sim ]]; then
  cmake -S "$root" --preset linux >/dev/null
  cmake --build "$root/build/linux" --target tarvel tarvel-sim
fi

work=${TARVEL_DEMO_DIR:-$root/build/demo}
mkdir -p "$work"
cd "$work"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

"$bin/tarvel-sim" --port 3 --scenario "$scenario" --quiet &
pids+=($!)
for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done

if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  echo "Running in $work on $DISPLAY; end it from the tray menu (終了) or with Ctrl+C."
  "$bin/tarvel"
  exit $?
fi

echo "No display: running headless under Xvfb for $seconds s."
exec 3< <(Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 1280x800x24 2>/dev/null)
pids+=($!)
read -r -u 3 display
export DISPLAY=":$display"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
pids+=($!)
timeout $((seconds + 2)) socat -u UDP-RECV:12345,bind=127.0.0.1 - 2>/dev/null |
  tr -d '\376' | tr '\000' '\n' | grep -a , | head -n 20 > datagrams.txt &
sleep 0.5
"$bin/tarvel" &
tarvel=$!
pids+=($tarvel)
sleep "$seconds"
import -window root screenshot.png
kill -TERM "$tarvel"
wait "$tarvel" && status=0 || status=$?
sleep 0.3
echo "Program exited with $status."
echo "Screenshot:         $work/screenshot.png"
echo "Datagram sample:    $work/datagrams.txt"
head -n 3 datagrams.txt
echo "Settings saved to:  $work/tarvel.ini"
