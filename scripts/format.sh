#!/usr/bin/env bash
# Formats the C and C++ sources with the checked-in .clang-format; --check only reports.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = --check ]; then
  clang-format --dry-run --Werror "${files[@]}"
  echo "format: ${#files[@]} files as .clang-format wants them"
else
  clang-format -i "${files[@]}"
fi
