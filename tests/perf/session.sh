# The setting the measurement scripts share, sourced by them: a network namespace of their own
# (the datagram port 127.0.0.1:12345 stays private), a scratch folder whose processes end with
# the script, and a private X display with a desktop.

# Runs the calling script again in a network namespace of its own, once, when one is to be had:
#   perf_own_network "$0" "$@"
perf_own_network() {
  if [[ -z ${TARVEL_MEASURE_NS:-} ]] && unshare --net true 2>/dev/null; then
    TARVEL_MEASURE_NS=1 exec unshare --net bash -c 'ip link set lo up && exec "$@"' - bash "$@"
  fi
}

# Makes the scratch folder $work (under /tmp, named after PREFIX) and goes there; the programs'
# runtime folder (where the single-instance lock lives) is one of its own. At the exit
# every process in $pids is ended, perf_on_exit runs first if the script defines it, and the
# folder goes unless `keep` is given.
#   perf_scratch [PREFIX] [keep]
perf_scratch() {
  work=$(mktemp -d "/tmp/${1:-tarvel-perf}.XXXXXX")
  perf_keep_work=${2:-}
  pids=()
  trap perf_cleanup EXIT
  cd "$work"
  export XDG_RUNTIME_DIR=$work/.run
  mkdir -m 700 "$XDG_RUNTIME_DIR"
}

perf_cleanup() {
  if declare -F perf_on_exit >/dev/null; then perf_on_exit || true; fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [[ $perf_keep_work == keep ]] || rm -rf "$work"
}

# A private Xvfb of the size WxH, its log in LOG (default: none); DISPLAY names it and $xvfb is
# its process.
#   perf_display WxH [LOG]
perf_display() {
  exec 3< <(Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 "$1x24" 2>"${2:-/dev/null}")
  xvfb=$!
  pids+=("$xvfb")
  local display
  read -r -u 3 display
  export DISPLAY=":$display"
}

# openbox, and trayer at the top edge on the side ALIGN (left or right) when it is installed.
#   perf_desktop [ALIGN]
perf_desktop() {
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  if command -v trayer >/dev/null; then
    trayer --edge top --align "${1:-right}" --widthtype request --height 24 >/dev/null 2>&1 &
    pids+=($!)
  fi
}

# A listener that takes the program's datagrams on 127.0.0.1:12345 and drops them.
perf_datagram_sink() {
  socat -u UDP-RECV:12345,bind=127.0.0.1 /dev/null &
  pids+=($!)
}
