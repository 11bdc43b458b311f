#!/usr/bin/env bash
# Runs the program against the simulated platform: the simulator pretends to
# be a platform on ./COM3 with a user on it, the program connects to it.
# On a desktop the window opens on your display; with no display the program
# runs under a private Xvfb for a while, and a screenshot and a sample of the
# datagrams sent while the simulated user walks are written next to it.
#   usage: scripts/run-demo.sh [scenario] (default: tour; see tarvel-sim --help)
#   TARVEL_DEMO_SECONDS: how long the headless run lasts (default 15: the tour
#                        walks from about 11 s on)
#   TARVEL_DEMO_DIR:     the folder it runs in (default build/demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scenario=${1:-tour}
seconds=${TARVEL_DEMO_SECONDS:-15}
stop() { echo "run-demo.sh: $*" >&2; exit 1; }

bash "$root/scripts/install-deps.sh"
bin=$root/build/linux/bin
if [[ ! -x $bin/tarvel || ! -x $bin/tarvel-sim ]]; then
  cmake -S "$root" --preset linux >/dev/null
  cmake --build "$root/build/linux" --target tarvel tarvel-sim
fi

# A scenario the simulator does not know stops here, with the list of those it does.
if ! "$bin/tarvel-sim" --scenario "$scenario" --stdout --frames 1 >/dev/null 2>&1; then
  known=$("$bin/tarvel-sim" --help | sed -n '/^Scenarios:/,/^$/p' | awk 'NR > 1 && NF {print $1}')
  stop "unknown scenario '$scenario'; the simulator knows: $(echo $known)"
fi
if pgrep -u "$(id -u)" -x tarvel >/dev/null; then
  stop "tarvel is already running (pid $(pgrep -u "$(id -u)" -x tarvel | head -n 1)); end it from its tray menu (終了) first"
fi

work=${TARVEL_DEMO_DIR:-$root/build/demo}
mkdir -p "$work"
cd "$work"
# COM3 here must be free: a link to a device that exists belongs to a simulator that
# still runs (or to a real platform), and anything else is not ours to replace.
if [[ -L COM3 && -e COM3 ]]; then
  stop "$work/COM3 is taken: it links to $(readlink COM3), which exists (another simulator running here?); stop that, or set TARVEL_DEMO_DIR to another folder"
elif [[ -e COM3 && ! -L COM3 ]]; then
  stop "$work/COM3 is in the way: it is not a link the simulator may replace; move it away"
fi

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

headless=1
[[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1 && headless=0
if ((headless)); then
  # The datagram listener first: the port must be ours before anything is sent to it.
  socat -u UDP-RECV:12345,bind=127.0.0.1 OPEN:datagrams.bin,creat,trunc 2>socat.log &
  listener=$!
  pids+=($listener)
  sleep 0.3
  if ! kill -0 "$listener" 2>/dev/null; then
    grep -q 'Address already in use' socat.log || stop "cannot listen for the datagrams: $(cat socat.log)"
    stop "UDP port 12345 on 127.0.0.1 is taken by another program; find it with: ss -lunp 'sport = :12345'"
  fi
fi

"$bin/tarvel-sim" --port 3 --scenario "$scenario" --quiet 2>sim.log &
simulator=$!
pids+=($simulator)
for _ in $(seq 100); do [[ -L COM3 ]] && break; kill -0 "$simulator" 2>/dev/null || break; sleep 0.05; done
[[ -L COM3 ]] || stop "the simulator did not start: $(cat sim.log)"

if ((!headless)); then
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
"$bin/tarvel" 2>tarvel.log &
tarvel=$!
pids+=($tarvel)
sleep "$seconds"
import -window root screenshot.png
kill -TERM "$tarvel"
wait "$tarvel" && status=0 || status=$?
sleep 0.3
kill "$listener" 2>/dev/null || true

# One line per datagram; the sample keeps those sent while the user walks
# (lowerMovingAverage, field 7, above walkFThreshold, field 6), one in 100.
tr -d '\376' <datagrams.bin | tr '\000' '\n' | grep -a , >datagrams-all.txt || true
awk -F, '$7 > $6 && n++ % 100 == 0 && ++kept <= 20' datagrams-all.txt >datagrams.txt
sample="walking"
if [[ ! -s datagrams.txt ]]; then
  tail -n 20 datagrams-all.txt >datagrams.txt
  sample="the last ones: no walking in this scenario or time; try TARVEL_DEMO_SECONDS=20"
fi
rm -f datagrams.bin
echo "Program exited with $status."
echo "Screenshot:         $work/screenshot.png"
echo "Datagrams:          $(wc -l <datagrams-all.txt) in $work/datagrams-all.txt"
echo "Datagram sample:    $work/datagrams.txt ($sample)"
head -n 3 datagrams.txt
echo "Settings saved to:  $work/tarvel.ini"
