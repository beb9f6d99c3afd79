#!/usr/bin/env bash
# Every test: native unit tests under the sanitizers, a second build that must be byte-identical,
# then the end-to-end suite under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
bash scripts/reproduce.sh
ctest --preset host -j "$(nproc)" 2>&1 | tail -n 3
bash scripts/valgrind.sh
bash scripts/fuzz.sh
/usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e "$@"
