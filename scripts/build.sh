#!/usr/bin/env bash
# Builds the native unit tests and the Windows programs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
echo "build: $(pwd)/build/windows/setup.exe ($(stat -c %s build/windows/setup.exe) bytes)"
