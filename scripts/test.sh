#!/usr/bin/env bash
# The one test command: installs what the build needs, checks the source
# format, then configures, builds and runs every test: the optimised Linux
# build, the Windows build under Wine, the Linux build under
# AddressSanitizer and UBSan, and the fuzz targets for a few seconds each.
set -euo pipefail
source "$(dirname "$0")/../tests/support/fail-trap.sh"
cd "$(dirname "$0")/.."
started=$SECONDS

bash scripts/install-deps.sh --windows
jobs=$(nproc)

echo "== format"
bash scripts/check-format.sh

# Each step's time, so that a slow one shows.
step_started=$SECONDS
step_done() {
  echo "== $1 took $((SECONDS - step_started)) s"
  step_started=$SECONDS
}

run_linux() {
  local preset=$1
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs"
  step_done "$preset"
}

# The fuzz targets (libFuzzer, clang) built, then each run for a few
# seconds from its seeds; what they find goes to a scratch folder, the seeds stay as they are.
run_fuzz() {
  echo "== fuzz: configure, build and run each target"
  cmake --preset fuzz >/dev/null
  # The targets alone: the rest of the fuzz preset (the program built by clang with the
  # sanitizers) adds nothing to what the two builds above test.
  local targets=(stream_parser_fuzz settings_load_fuzz xr_walk_block_fuzz) target name found log
  cmake --build --preset fuzz -j "$jobs" --target "${targets[@]}"
  for name in "${targets[@]}"; do
    target=build/fuzz/bin/$name
    found=$(mktemp -d)
    log=build/fuzz/$name.log
    if ! "$target" -max_total_time=5 -max_len=65536 -artifact_prefix=build/fuzz/ "$found" \
      "tests/fuzz/corpus/$name" >"$log" 2>&1; then
      tail -n 40 "$log"
      echo "FAIL: the fuzz target $name found a fault; the input is in build/fuzz/" >&2
      exit 1
    fi
    echo "$name: $(tail -n 1 "$log")"
    rm -rf "$found"
  done
  step_done fuzz
}

step_done "dependencies and format"
run_linux linux
bash scripts/test-windows.sh
step_done windows
run_linux linux-asan
run_fuzz
echo "== all tests passed in $((SECONDS - started)) s"
