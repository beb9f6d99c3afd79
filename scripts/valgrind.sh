#!/usr/bin/env bash
# The unit tests once more, without sanitizers, under valgrind: it sees uninitialised reads
# that AddressSanitizer does not.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v valgrind >/dev/null || { echo "valgrind: missing; run scripts/setup.sh" >&2; exit 1; }
cmake --preset valgrind >/dev/null
cmake --build --preset valgrind -j "$(nproc)" >/dev/null
valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,possible \
  build/valgrind/unit_tests --gtest_brief=1
