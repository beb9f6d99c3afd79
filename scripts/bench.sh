#!/usr/bin/env bash
# Times setup.exe under Wine against plain baselines and writes docs/benchmarks.md.
# Not part of the tests: the numbers depend on the machine. Options go to scripts/bench.py.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
exec /usr/bin/python3 scripts/bench.py "$@"
