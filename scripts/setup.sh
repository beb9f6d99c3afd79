#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages. Idempotent.
set -euo pipefail

pkgs=(cmake g++ libgtest-dev clang g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
      wine wine32:i386 wine64 msitools wixl xvfb xauth xdotool imagemagick icoutils
      python3-pytest python3-pefile openssl locales hyperfine valgrind time
      libclang-rt-14-dev nsis)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" = 0 ] || { echo "setup: run as root to install: ${missing[*]}" >&2; exit 1; }
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

for loc in en_US.UTF-8 ru_RU.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qix "${loc/UTF-8/utf8}"; then
    [ "$(id -u)" = 0 ] || { echo "setup: run as root to generate $loc" >&2; exit 1; }
    sed -i "s/^# *\(${loc} UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${loc} UTF-8" /etc/locale.gen || echo "${loc} UTF-8" >> /etc/locale.gen
    locale-gen >/dev/null
  fi
done
echo "setup: ready"
