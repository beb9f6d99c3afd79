#!/usr/bin/env bash
# Builds setup.exe for a release into build/release/ from a fresh configure: the reproducible
# build, its notes and SHA256SUMS. Given a key, also signs it (the key options: scripts/sign.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
usage() {
  echo "usage: scripts/release.sh [--pkcs12 FILE | --pkcs11 URI [--pkcs11-module LIB]" \
       "[--certs FILE]] [--timestamp URL]" >&2
  exit "${1:-2}"
}
case "${1-}" in -h|--help) usage 0 ;; esac
# Bad options fail now, not after the build.
if [ $# -gt 0 ]; then
  bash scripts/sign.sh --check "$@" || { code=$?; [ $code -ne 2 ] || usage; exit $code; }
fi
bash scripts/setup.sh

commit=$(git rev-parse HEAD 2>/dev/null) ||
  { echo "release: not a git checkout; the notes must name the commit" >&2; exit 1; }
# Untracked files count: the build takes every source file it finds.
if [ -n "$(git status --porcelain)" ]; then
  commit="$commit with uncommitted changes"
  echo "release: WARNING: the working tree differs from the commit; the notes say so" >&2
fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

out=build/release
rm -rf "$out"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
cache() { sed -n "s/^$1:[A-Z]*=//p" "$out/cmake/CMakeCache.txt"; }
base=$(cache CMAKE_PROJECT_NAME)-$(cache CMAKE_PROJECT_VERSION)
unsigned=$base-unsigned.exe
signed=$base.exe
cp "$out/cmake/setup.exe" "$out/$unsigned"

first_line() { "$@" 2>&1 | sed -n 1p; }
{
  echo "$base"
  echo "commit:            $commit"
  echo "SOURCE_DATE_EPOCH: $SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" +%FT%TZ))"
  echo "compiler:          $(first_line i686-w64-mingw32-g++ --version)"
  echo "linker:            $(first_line i686-w64-mingw32-ld --version)"
  echo "resources:         $(first_line i686-w64-mingw32-windres --version)"
  echo "cmake:             $(first_line cmake --version)"
  echo "packages:          $(dpkg-query -W -f='${Package} ${Version}, ' g++-mingw-w64-i686-win32 \
                             binutils-mingw-w64-i686 mingw-w64-i686-dev | sed 's/, $//')"
} >"$out/$base-notes.txt"

finish() {
  (cd "$out" && sha256sum "$@" >SHA256SUMS)
  sed 's/^/sha256:            /' "$out/SHA256SUMS" >>"$out/$base-notes.txt"
  echo "release: $out/: $* SHA256SUMS $base-notes.txt"
}
if [ $# -eq 0 ]; then
  echo "signature:         none" >>"$out/$base-notes.txt"
  finish "$unsigned"
  echo "release: no signing key given: stopped after the reproducible build"
  exit 0
fi
bash scripts/sign.sh "$@" "$out/$unsigned" "$out/$signed"
echo "signature:         Authenticode SHA-256, $(first_line osslsigncode --version | sed 's/,.*//')" \
  >>"$out/$base-notes.txt"
finish "$unsigned" "$signed"
