#!/usr/bin/env bash
# The one test command: installs what the build needs, checks the source
# format, then configures, builds and runs every test: the optimised Linux
# build, the Windows build under Wine, and the Linux build under
# AddressSanitizer and UBSan.
set -euo pipefail
source "$(dirname "$0")/../tests/support/fail-trap.sh"
cd "$(dirname "$0")/.."
started=$SECONDS

bash scripts/install-deps.sh --windows
jobs=$(nproc)

echo "== format"
bash scripts/check-format.sh

run_linux() {
  local preset=$1
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs"
}

run_linux linux
bash scripts/test-windows.sh
run_linux linux-asan
echo "== all tests passed in $((SECONDS - started)) s"
