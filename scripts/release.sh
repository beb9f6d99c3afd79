#!/usr/bin/env bash
# Builds setup.exe for a release into build/release/ from a fresh configure: the reproducible
# build, its notes and SHA256SUMS. Given --kit DIR, seals the kit into the build, writes its
# packages' facts to kit.json and the notes, and the deployment tools' settings made from them to
# tool-settings/; given a key, also signs it (the key options: scripts/sign.sh).
#
# Only a sealed build is signed unless --unsealed says that is meant: a signed setup.exe that
# checks nothing lends the publisher's name to whatever packages are put beside it.
set -euo pipefail
usage() {
  echo "usage: scripts/release.sh [--kit DIR | --unsealed] [--pkcs12 FILE | --pkcs11 URI" \
       "[--pkcs11-module LIB] [--certs FILE]] [--timestamp URL]" >&2
  exit "${1:-2}"
}
bad_usage() { echo "release: $1" >&2; usage; }
fail() { echo "release: $1" >&2; exit 1; }
case "${1-}" in -h|--help) usage 0 ;; esac

kit= unsealed=
key=()
while [ $# -gt 0 ]; do
  case "$1" in
    --kit)
      [ $# -ge 2 ] && [ -n "$2" ] || bad_usage "--kit needs a folder"
      # Before the cd below: a relative DIR is the caller's.
      kit=$(realpath -m -- "$2")
      shift 2 ;;
    --unsealed) unsealed=1; shift ;;
    # Their values pass through untouched, even one that looks like an option.
    --pkcs12|--pkcs11|--pkcs11-module|--certs|--timestamp)
      key+=("$1"); shift
      [ $# -eq 0 ] || { key+=("$1"); shift; } ;;
    -*) key+=("$1"); shift ;;
    *) bad_usage "unexpected argument $1" ;;
  esac
done
if [ -n "$kit" ] && [ -n "$unsealed" ]; then bad_usage "--kit and --unsealed exclude each other"; fi
cd "$(dirname "$0")/.."

# Bad options fail now, not after the build.
if [ ${#key[@]} -gt 0 ]; then
  bash scripts/sign.sh --check "${key[@]}" || { code=$?; [ $code -ne 2 ] || usage; exit $code; }
  [ -n "$kit$unsealed" ] ||
    bad_usage "only a sealed build is signed: give --kit DIR, or --unsealed to sign anyway"
fi

out=build/release
# One line a file: "<sha256> <size> <name>", sorted by the names' bytes. Sub-folders and any
# setup.exe are left out. A name Windows could not hold is refused: in the seal it could name a
# file outside the kit (..\x) or break the line format.
seal_kit() {
  local LC_ALL=C dir=$1 name path
  while IFS= read -r -d '' name; do
    path=$dir/$name
    [ "${name,,}" != setup.exe ] || continue
    [ ! -d "$path" ] || continue
    [ -f "$path" ] || fail "$path is neither a file nor a folder; it cannot be sealed"
    case "$name" in
      *[[:cntrl:]\\/:*?\"\<\>\|]* | *[\ .])
        fail "$(printf '%q' "$name") in $dir is no Windows file name; it cannot be sealed" ;;
    esac
    printf '%s' "$name" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 ||
      fail "$(printf '%q' "$name") in $dir is not UTF-8; it cannot be sealed"
    printf '%s %s %s\n' "$(sha256sum <"$path" | cut -d' ' -f1)" "$(stat -L -c %s -- "$path")" \
      "$name"
  done < <(find "$dir" -mindepth 1 -maxdepth 1 -printf '%f\0' | LC_ALL=C sort -z)
}
seal=
if [ -n "$kit" ]; then
  [ -d "$kit" ] || fail "no folder $kit to seal"
  case "$kit/" in
    "$(realpath -m "$out")"/*) fail "the kit cannot be inside $out, which a release replaces" ;;
  esac
  seal=$(mktemp)
  trap 'rm -f "$seal"' EXIT
  seal_kit "$kit" >"$seal"
  [ -s "$seal" ] || fail "$kit holds no file to seal"
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

rm -rf "$out"
cmake --preset release >/dev/null
cache() { sed -n "s/^$1:[A-Z]*=//p" "$out/cmake/CMakeCache.txt"; }
base=$(cache CMAKE_PROJECT_NAME)-$(cache CMAKE_PROJECT_VERSION)
unsigned=$base-unsigned.exe
signed=$base.exe
sealed=()
if [ -n "$seal" ]; then
  # The release's name comes from the first configure; the seal's file is named after it.
  sealed=("$base-seal.txt" kit.json)
  cat "$seal" >"$out/${sealed[0]}"
  cmake --preset release -DQV_SEAL="$PWD/$out/${sealed[0]}" >/dev/null
fi
cmake --build --preset release -j "$(nproc)" >/dev/null
cp "$out/cmake/setup.exe" "$out/$unsigned"
# The map: the same link without -s keeps the symbol table (local functions too, which a
# whole-program link leaves out of ld's own map); its addresses are the release's, so the
# offset in a fault's log line ("setup.exe+0x3B29" is 0x403B29) names the function.
(cd "$out/cmake" && sed -n 's/ -s / /; s/ -o setup\.exe / -o setup-symbols.exe /p' \
  CMakeFiles/setup.dir/link.txt | grep -e '-o setup-symbols.exe' | sh)
i686-w64-mingw32-nm -C -n "$out/cmake/setup-symbols.exe" | grep -i ' t ' >"$out/$base.map"

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
  if [ -n "$seal" ]; then
    # scripts/reproduce.sh --notes rebuilds the seal from these lines.
    echo "kit:               sealed, $(wc -l <"$seal") files (${sealed[0]})"
    sed 's/^/seal:              /' "$seal"
    # What deployment rules are written from: the same table as kit.json, and the tools'
    # settings made from it.
    python3 scripts/kit_facts.py "$kit" "$out/kit.json"
    python3 scripts/tool_settings.py "$out/kit.json" deploy "$out/tool-settings"
    mapfile -t settings < <(cd "$out" && find tool-settings -type f | LC_ALL=C sort)
    sealed+=("${settings[@]}")
    echo "tool-settings:     tool-settings/, ${#settings[@]} files, in SHA256SUMS"
  else
    echo "kit:               not sealed"
  fi
  echo "map:               $base.map, the functions' addresses: the one at a fault's offset (an"
  echo "                   inlined function shows as its caller); not in SHA256SUMS, outside the"
  echo "                   byte-identical claim"
  # What whoever deploys this version must know changed; kept until the next release.
  echo "behaviour change:  exit code 1641 where 0 was, when setup.exe starts the restart itself" \
       "(-silent without -noreboot, or Yes at the restart question); 7 stays its failure"
  echo "new:               -repair; -log naming a folder (QuorvaneSetup_<computer>_<time>.log)"
} >"$out/$base-notes.txt"

# The acceptance pass for Windows (tests/acceptance/README.txt): a test kit, and setup.exe from
# this commit unsealed and sealed for that kit. Whatever --kit sealed into the release would
# ignore every test package. The kit is made anew each time: outside SHA256SUMS.
build_setup() {
  cmake --preset release -DQV_SEAL="$1" >/dev/null
  cmake --build "$out/cmake" --target setup ordo_tool ui_driver -j "$(nproc)" >/dev/null
}
build_setup ""
python3 tests/acceptance/make_acceptance.py "$out/acceptance" --setup "$out/cmake/setup.exe" \
  --tool "$out/cmake/tests/kit/ordo_tool.exe" --driver "$out/cmake/tests/kit/ui_driver.exe"
seal_kit "$out/acceptance/pass/sealed" >"$out/cmake/acceptance-seal.txt"
build_setup "$PWD/$out/cmake/acceptance-seal.txt"
cp "$out/cmake/setup.exe" "$out/acceptance/pass/sealed/setup.exe"
echo "acceptance:        acceptance/, the pass for Windows; made anew each time, not in SHA256SUMS" \
  >>"$out/$base-notes.txt"

finish() {
  (cd "$out" && sha256sum "$@" >SHA256SUMS)
  sed 's/^/sha256:            /' "$out/SHA256SUMS" >>"$out/$base-notes.txt"
  echo "release: $out/: $(printf '%s\n' "$@" | sed 's,^tool-settings/.*,tool-settings/,' | uniq |
    tr '\n' ' ')SHA256SUMS $base-notes.txt"
}
if [ ${#key[@]} -eq 0 ]; then
  echo "signature:         none" >>"$out/$base-notes.txt"
  finish "$unsigned" "${sealed[@]}"
  echo "release: no signing key given: stopped after the reproducible build"
  exit 0
fi
bash scripts/sign.sh "${key[@]}" "$out/$unsigned" "$out/$signed"
echo "signature:         Authenticode SHA-256, $(first_line osslsigncode --version | sed 's/,.*//')" \
  >>"$out/$base-notes.txt"
finish "$unsigned" "$signed" "${sealed[@]}"
