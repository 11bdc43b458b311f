#!/usr/bin/env bash
# Runs one Windows program under Wine for the tests (ctest uses it as the cross-compiling
# emulator): the tests' prefix, set up on first use, and a time limit on the run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
export WINEPREFIX=${WINEPREFIX:-$(cd "$here/../.." && pwd)/build/windows/wine-prefix}
bash "$here/wine-prefix.sh"
exec timeout -k 5 "${TARVEL_WINE_TIMEOUT:-150}" "$TARVEL_WINE" "$@"
