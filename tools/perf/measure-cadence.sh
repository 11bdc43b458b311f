#!/usr/bin/env bash
# Measures the speed from the step rate, before and after in one run: the analysis pass's cost
# (tests/bench's BM_Analyze* built from the base commit's analysis and from this tree's, run in
# turn), then the program of each tree against the simulator at 80, 100, 130, 170 and 200 steps
# a minute (cadence-probe.py: the OSC and OpenXR values, dropouts, stop latency, the step change
# 100 -> 170), and the steps this tree's program counts in 20 s at 200 a minute. The base tree is
# exported to build/cadence-base and built once (mostly from ccache).
#   usage: tools/perf/measure-cadence.sh [BASE_COMMIT, default: the merge base with main]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
base=${1:-$(git -C "$root" merge-base HEAD main)}
source "$root/tests/perf/session.sh"
perf_own_network "$0" "$@"

# The base tree, with this tree's benchmark of the analysis so that both run the same code.
basedir=$root/build/cadence-base
if [[ $(cat "$basedir/commit" 2>/dev/null) != "$base" || ! -x $basedir/src/build/linux/bin/tarvel ]]; then
  rm -rf "$basedir"
  mkdir -p "$basedir/src"
  git -C "$root" archive "$base" | tar -x -C "$basedir/src"
  cp "$root/tests/bench/analysis_bench.cpp" "$root/tests/bench/CMakeLists.txt" "$basedir/src/tests/bench/"
  (cd "$basedir/src" && cmake --preset linux >/dev/null &&
    cmake --build --preset linux -j2 --target tarvel tarvel_bench >/dev/null)
  echo "$base" >"$basedir/commit"
fi
before=$basedir/src/build/linux/bin
after=$root/build/linux/bin
echo "before: $(git -C "$root" log -1 --format='%h %s' "$base" | cut -c1-70)"
echo "after:  $(git -C "$root" log -1 --format='%h %s' HEAD | cut -c1-70)"

echo "== analysis pass (CPU ns per pass, median of 5 rounds, before and after in turn)"
for _ in 1 2 3 4 5; do
  for who in before after; do
    bin=$before
    [[ $who == after ]] && bin=$after
    "$bin/tarvel_bench" --benchmark_filter='BM_Analyze' --benchmark_min_time=0.3 \
      --benchmark_format=json 2>/dev/null | python3 -c '
import json, sys
for b in json.load(sys.stdin)["benchmarks"]:
    print(sys.argv[1], b["name"], b["cpu_time"])' "$who"
  done
done | python3 -c '
import statistics, sys
runs = {}
for line in sys.stdin:
    who, name, ns = line.split()
    runs.setdefault(name, {}).setdefault(who, []).append(float(ns))
for name, r in sorted(runs.items()):
    b, a = statistics.median(r["before"]), statistics.median(r["after"])
    print("  %-22s before %6.2f  after %6.2f  (%+.2f ns, x%.3f)" % (name, b, a, a - b, a / b))'

perf_scratch tarvel-cadence
perf_display 1280x800
perf_datagram_sink
for who in before after; do
  bin=$before
  [[ $who == after ]] && bin=$after
  mkdir "$work/$who" && cd "$work/$who"
  python3 "$root/tools/perf/cadence-probe.py" "$bin/tarvel" "$after/tarvel-sim" "$who"
done

echo "== steps counted at 200 a minute (this tree's program, 20 s of walking)"
mkdir "$work/steps" && cd "$work/steps"
"$after/tarvel-sim" --port 3 --sequence "walk@200:20,stand:60" 2>sim.log & sim=$!
pids+=("$sim")
for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
"$after/tarvel" 2>/dev/null & prog=$!
pids+=("$prog")
for _ in $(seq 200); do grep -q 'reader attached' sim.log && break; sleep 0.05; done
sleep 24  # the second of settle frames, 20 s of walking, 3 s standing
kill -TERM "$prog"; wait "$prog" || true
steps=$(tr -d '\r' <tarvel.ini | sed -n 's/^numStep=//p')
awk -v n="$steps" 'BEGIN { printf "  counted %d for 66.7 walked (20 s at 200/min, the first 0.5 s stepping on)\n", n }'
