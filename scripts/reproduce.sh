#!/usr/bin/env bash
# Builds setup.exe once more from a copy of this working tree, in another folder and under
# another umask, and compares it byte for byte with FILE (default: build/windows/setup.exe).
# Also checks a download: strip its signature (README, "Releasing") and give it as FILE.
set -euo pipefail
file=$(realpath "${1:-$(dirname "$0")/../build/windows/setup.exe}")
cd "$(dirname "$0")/.."
[ -f "$file" ] || { echo "reproduce: $file is missing; build it first (scripts/build.sh)" >&2; exit 1; }

work=$(mktemp -d /tmp/qv-reproduce.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The working tree, not HEAD: FILE was built from it, uncommitted changes included.
tar -c --exclude=./build --exclude=./.git . | tar -x -C "$work"
[ "$(umask)" = 0022 ] && other=0077 || other=0022
start=$(date +%s)
(
  cd "$work"
  umask "$other"
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target setup -j "$(nproc)" >/dev/null
)
again=$work/build/windows/setup.exe
first=$(sha256sum <"$file" | cut -d' ' -f1)
second=$(sha256sum <"$again" | cut -d' ' -f1)
echo "reproduce: $first  $file"
echo "reproduce: $second  rebuilt in $work (umask $other, $(($(date +%s) - start)) s)"
if [ "$first" != "$second" ]; then
  echo "reproduce: NOT identical; differing bytes (offset, octal values):" >&2
  cmp -l "$file" "$again" | head -n 20 >&2 || true
  exit 1
fi
echo "reproduce: identical"
