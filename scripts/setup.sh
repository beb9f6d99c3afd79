#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages. Idempotent.
# Root only to install: as root it installs directly (a fresh container has no sudo), otherwise
# through sudo.
set -euo pipefail

pkgs=(cmake g++ libgtest-dev clang g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
      wine wine32:i386 wine64 msitools wixl xvfb xauth xdotool imagemagick icoutils
      python3-pytest python3-pefile python3-hypothesis openssl locales hyperfine valgrind time
      libclang-rt-14-dev clang-format git osslsigncode softhsm2 libengine-pkcs11-openssl opensc
      p11-kit-modules nsis)

as_root() {
  if [ "$(id -u)" = 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "setup: $why needs root: run this as root once, or install sudo" >&2
    exit 1
  fi
}

# Outputs are read whole, never piped into `grep -q`: it quits at the first match, and under
# pipefail the writer's SIGPIPE would count as "not there".
why=
missing=()
for p in "${pkgs[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  why="installing ${missing[*]}"
  grep -qx i386 <<<"$(dpkg --print-foreign-architectures)" || as_root dpkg --add-architecture i386
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

locales=$(locale -a 2>/dev/null)
for loc in en_US.UTF-8 ru_RU.UTF-8; do
  if ! grep -qix "${loc/UTF-8/utf8}" <<<"$locales"; then
    why="generating the locale $loc"
    as_root sed -i "s/^# *\(${loc} UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${loc} UTF-8" /etc/locale.gen || echo "${loc} UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
  fi
done
echo "setup: ready"
