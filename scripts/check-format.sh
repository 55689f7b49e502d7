#!/usr/bin/env bash
# Names the C++ files that differ from .clang-format's layout, and fails when
# there is one. `scripts/check-format.sh --fix` reformats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format)
# kxPDFMetrics.cpp is written by scripts/gen-pdf-metrics.py, as it writes it.
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c' | grep -v '^kxCommon/kxPDFMetrics\.cpp$')
if [ "${1:-}" = --fix ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  "$format" --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "Not formatted as .clang-format says (scripts/check-format.sh --fix):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
