#!/usr/bin/env bash
# Fails when a C++ file of the tree drifts from .clang-format; prints the files
# that do. `bash scripts/check-format.sh --fix` reformats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ "${1:-}" == "--fix" ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
drifting=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || drifting+=("$f")
done
if ((${#drifting[@]})); then
  echo "These files differ from .clang-format (bash scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${drifting[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files follow .clang-format"
