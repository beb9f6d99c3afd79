#!/usr/bin/env bash
# Builds setup.exe and shows it at work under Wine on a generated kit.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
/usr/bin/python3 scripts/demo.py
