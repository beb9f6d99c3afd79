#!/usr/bin/env bash
# Builds setup.exe once more from a copy of this working tree, in another folder and under
# another umask, and compares it byte for byte with FILE (default: build/windows/setup.exe).
# Also checks a download: strip its signature (README, "Releasing") and give it as FILE.
#
#   scripts/reproduce.sh [FILE]
#   scripts/reproduce.sh --notes NOTES [FILE]
#
# --notes rebuilds a release as its notes describe it: sealed with the seal lines they list, if
# any, and compared with the unsigned SHA-256 they give (and with FILE, when given too).
set -euo pipefail
usage() { echo "usage: scripts/reproduce.sh [--notes NOTES] [FILE]" >&2; exit "${1:-2}"; }
fail() { echo "reproduce: $1" >&2; exit 1; }
notes= file=
while [ $# -gt 0 ]; do
  case "$1" in
    -h|--help) usage 0 ;;
    --notes) [ $# -ge 2 ] && [ -n "$2" ] || usage; notes=$(realpath "$2"); shift 2 ;;
    -*) usage ;;
    *) [ -z "$file" ] || usage; file=$(realpath "$1"); shift ;;
  esac
done
[ -n "$file$notes" ] || file=$(realpath "$(dirname "$0")/../build/windows/setup.exe")
cd "$(dirname "$0")/.."
[ -z "$file" ] || [ -f "$file" ] ||
  fail "$file is missing; build it first (scripts/build.sh)"

work=$(mktemp -d /tmp/qv-reproduce.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/build"
seal=
if [ -n "$notes" ]; then
  [ -f "$notes" ] || fail "$notes is missing"
  # A copy that passed through Windows may have gained CRs; no sealed name holds one.
  field() { sed -n "s/\r\$//; s/^$1: *//p" "$notes"; }
  base=$(sed -n '1{s/\r$//;p}' "$notes")
  listed() { field sha256 | awk -v name="$1" '$2 == name { print $1 }'; }
  expected=$(listed "$base-unsigned.exe")
  [[ "$expected" =~ ^[0-9a-f]{64}$ ]] || fail "$notes gives no SHA-256 of $base-unsigned.exe"
  if [ -n "$(field seal)" ]; then
    seal=$work/build/$base-seal.txt
    field seal >"$seal"
    # The release lists its seal file's sum too: the lines must give that file back.
    seal_sum=$(listed "$base-seal.txt")
    if [ -n "$seal_sum" ] && [ "$seal_sum" != "$(sha256sum <"$seal" | cut -d' ' -f1)" ]; then
      fail "the seal lines of $notes do not give back $base-seal.txt; the notes were changed"
    fi
  fi
  if commit=$(git rev-parse HEAD 2>/dev/null); then
    [ -z "$(git status --porcelain)" ] || commit="$commit with uncommitted changes"
  else
    commit="no git checkout"
  fi
  [ "$(field commit)" = "$commit" ] ||
    echo "reproduce: WARNING: the notes name commit $(field commit); this tree is $commit" >&2
fi

# The working tree, not HEAD: FILE was built from it, uncommitted changes included.
tar -c --exclude=./build --exclude=./.git . | tar -x -C "$work"
[ "$(umask)" = 0022 ] && other=0077 || other=0022
start=$(date +%s)
(
  cd "$work"
  umask "$other"
  cmake --preset windows ${seal:+"-DQV_SEAL=$seal"} >/dev/null
  cmake --build --preset windows --target setup -j "$(nproc)" >/dev/null
)
again=$work/build/windows/setup.exe
second=$(sha256sum <"$again" | cut -d' ' -f1)
same=1
if [ -n "$notes" ]; then
  echo "reproduce: $expected  $base-unsigned.exe in $notes"
  [ "$expected" = "$second" ] || same=
fi
if [ -n "$file" ]; then
  first=$(sha256sum <"$file" | cut -d' ' -f1)
  echo "reproduce: $first  $file"
  [ "$first" = "$second" ] || same=
fi
echo "reproduce: $second  rebuilt in $work (umask $other,${seal:+ sealed,} $(($(date +%s) - start)) s)"
if [ -z "$same" ]; then
  echo "reproduce: NOT identical" >&2
  if [ -n "$file" ]; then
    echo "reproduce: differing bytes (offset, octal values):" >&2
    cmp -l "$file" "$again" | head -n 20 >&2 || true
  fi
  exit 1
fi
echo "reproduce: identical"
