#!/usr/bin/env bash
# A soak run of the Linux program: it runs for MINUTES (default 30) under a private Xvfb with
# openbox (and trayer when installed) against the simulator walking at 100 Hz, which is
# unplugged every 20 to 60 s (at random, for 1 s) and puts a burst of 256 random bytes on the
# line every minute. It reports the program's resident memory, open files and CPU use at the
# start and at the end, that the datagrams never stopped and came back walking after every
# unplug, and that ./tarvel.ini is whole after the exit on SIGTERM. Exit status 0 when every
# check holds. Not part of the test command: it takes as long as it runs.
#   usage: tests/perf/soak.sh [MINUTES [BIN_DIR]]   (BIN_DIR default build/linux/bin)
# The logs and per-second figures stay in the folder named at the end. As root it runs in a
# network namespace of its own, so no other copy on the machine shares the datagram port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/session.sh"
perf_own_network "$here/soak.sh" "$@"

minutes=${1:-30}
bin=$(cd "${2:-$here/../../build/linux/bin}" && pwd)
seconds=$(awk -v m="$minutes" 'BEGIN { s = int(m * 60 + 0.5); print (s < 60 ? 60 : s) }')
for tool in Xvfb openbox python3; do
  command -v "$tool" >/dev/null || { echo "soak: $tool is not installed" >&2; exit 2; }
done
# The folder stays: its logs and figures are the soak's report.
perf_scratch tarvel-soak keep
perf_display 1280x800 "$work/xvfb.log"
perf_desktop right
python3 "$here/soak-listener.py" seconds.csv listener.txt 2>listener.log & listener=$!
pids+=($listener)
"$bin/tarvel-sim" --port 3 --scenario walk --rate 100 --unplug-for 1000 2>sim.log & sim=$!
pids+=($sim)
for _ in $(seq 100); do [[ -e COM3 ]] && break; sleep 0.05; done
"$bin/tarvel" >tarvel.log 2>&1 & prog=$!
pids+=($prog)

# One line every 10 s: elapsed seconds, VmRSS (kB), CPU ticks (user + system, all threads),
# open files, threads.
sample() {
  local rss fds threads ticks
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$prog/status")
  threads=$(awk '/^Threads:/ { print $2 }' "/proc/$prog/status")
  ticks=$(awk '{ print $14 + $15 }' "/proc/$prog/stat")
  fds=$(ls "/proc/$prog/fd" | wc -l)
  echo "$1 $rss $ticks $fds $threads" >>samples.txt
}

start=$(date +%s)
next_unplug=$((start + 20 + RANDOM % 41))
next_noise=$((start + 60))
next_sample=$((start + 10))
: >unplugs.txt
: >samples.txt
echo "soak: $minutes min in $work (program $prog, simulator $sim)"
while :; do
  now=$(date +%s)
  ((now - start >= seconds)) && break
  kill -0 "$prog" 2>/dev/null || { echo "soak: the program ended by itself" >&2; exit 1; }
  if ((now >= next_sample)); then
    sample $((now - start))
    next_sample=$((next_sample + 10))
  fi
  if ((now >= next_unplug)); then
    kill -USR1 "$sim"
    echo "$now" >>unplugs.txt
    next_unplug=$((now + 20 + RANDOM % 41))
  fi
  if ((now >= next_noise)); then
    kill -USR2 "$sim"
    next_noise=$((next_noise + 60))
  fi
  sleep 1
done
sample "$seconds"
memory_peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$prog/status")

kill -TERM "$prog"
code=0
wait "$prog" || code=$?
sleep 1
kill -TERM "$listener"
wait "$listener" || true
kill -TERM "$sim"
wait "$sim" || true

fail=0
check() {  # condition-text message
  if ! eval "$1"; then echo "FAIL: $2"; fail=1; fi
}

{
  echo "soak: $minutes min at 100 Hz; $(wc -l <unplugs.txt) unplugs, $(grep -c 'garbage bytes' sim.log || true) noise bursts"
  # Memory and CPU: the first and the last samples, and the CPU over the first and the last
  # window of up to a minute.
  awk -v hz="$(getconf CLK_TCK)" -v peak="$memory_peak" '
    { t[NR] = $1; rss[NR] = $2; ticks[NR] = $3; fds[NR] = $4; thr[NR] = $5 }
    END {
      w = 6; if (NR - 1 < 2 * w) w = int((NR - 1) / 2); if (w < 1) w = 1
      printf "memory (VmRSS): start %d kB, end %d kB, peak (VmHWM) %d kB\n", rss[1], rss[NR], peak
      printf "open files: start %d, end %d; threads: start %d, end %d\n", fds[1], fds[NR], thr[1], thr[NR]
      first = 100 * (ticks[1 + w] - ticks[1]) / hz / (t[1 + w] - t[1])
      last = 100 * (ticks[NR] - ticks[NR - w]) / hz / (t[NR] - t[NR - w])
      printf "CPU: %.2f %% of one core over the first %d s, %.2f %% over the last %d s\n", \
        first, t[1 + w] - t[1], last, t[NR] - t[NR - w]
    }' samples.txt
  # shellcheck disable=SC1091
  source listener.txt
  echo "datagrams: $total, malformed $malformed, non-finite $nonfinite;" \
    "longest gap $longest_gap s (at $((longest_gap_at - start)) s), $slow_gaps gaps over 50 ms"
  check "((malformed == 0 && nonfinite == 0))" "malformed or non-finite datagrams"
  check "awk -v g=$longest_gap 'BEGIN { exit !(g < 1.0) }'" "the datagrams stopped for $longest_gap s"
  # After each unplug: the silent link is seen (datagrams of an empty platform), then the
  # datagrams say "walking" again before the next unplug.
  attached=$(grep -c 'reader attached' sim.log || true)
  awk -v end="$(tail -n 1 seconds.csv | cut -d, -f1)" '
    NR == FNR { unplug[++n] = $1; next }
    FNR > 1 { split($0, f, ","); walking[f[1]] = f[3]; empty[f[1]] = f[4] }
    END {
      worst = 0; missed = 0
      for (i = 1; i <= n; ++i) {
        limit = i < n ? unplug[i + 1] : end + 1
        seen = 0; back = 0
        for (s = unplug[i]; s < limit; ++s) {
          if (!seen && empty[s] > 0) seen = s
          if (seen && s > seen && walking[s] > 0) { back = s; break }
        }
        if (!back) { ++missed; printf "  unplug at %d: no data walking again\n", unplug[i] }
        else if (back - unplug[i] > worst) worst = back - unplug[i]
      }
      printf "unplugs: %d, walking again after %d of them, at most %d s after the unplug\n", \
        n, n - missed, worst
      exit missed > 0
    }' unplugs.txt seconds.csv || { echo "FAIL: data did not resume after every unplug"; fail=1; }
  echo "the program opened the port $attached times; unplugs at" \
    "$(awk -v s="$start" '{ printf "%d ", $1 - s }' unplugs.txt)s"
  # The settings file: 24 keys in their two sections, the three of [osc] and the one of
  # [openxr], every value a finite number but the OSC host's address.
  echo "exit status on SIGTERM: $code"
  check "((code == 0))" "the program ended with $code"
  keys=$(tr -d '\r' <tarvel.ini | grep -cE '^[A-Za-z0-9]+=-?[0-9]+(\.[0-9]+)?$' || true)
  other=$(tr -d '\r' <tarvel.ini | grep -vcE '^([A-Za-z0-9]+=-?[0-9]+(\.[0-9]+)?|\[param\]|\[emulation\]|\[osc\]|\[openxr\]|host=[0-9.]+)$' || true)
  echo "tarvel.ini: $keys keys, $other other lines, $(tr -d '\r' <tarvel.ini | grep numStep)"
  check "((keys == 27 && other == 0))" "tarvel.ini is not whole"
  ((fail == 0)) && echo "soak: every check holds" || echo "soak: FAILED"
  echo "logs and figures: $work"
} | tee report.txt
grep -q '^soak: every check holds' report.txt
