#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, when missing.
# Run as root (or through sudo). Safe to run again: it only installs what is absent.
set -euo pipefail

need_pkgs=(
  cmake make g++ ninja-build
  mingw-w64 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix
  googletest libgtest-dev
  libssl-dev zlib1g-dev
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth imagemagick xdotool x11-utils
  python3 python3-cryptography python3-lxml python3-pytest xmlsec1 openssl
  file
)

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
arch_missing=0
dpkg --print-foreign-architectures | grep -qx i386 || arch_missing=1

if [ ${#missing[@]} -eq 0 ] && [ $arch_missing -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  [ $arch_missing -eq 1 ] && echo "The i386 architecture is not enabled: run 'dpkg --add-architecture i386' first." >&2
  echo "Install them as root:" >&2
  echo "  sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
[ $arch_missing -eq 1 ] && dpkg --add-architecture i386
echo "Installing: ${missing[*]}"
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
