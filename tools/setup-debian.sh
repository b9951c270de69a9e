#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, when missing.
# Run as root (or through sudo). Safe to run again: it only installs what is absent.
#
# Where the kernel runs no 32-bit code, the 32-bit Wine runs under qemu-i386 in a private
# namespace (tools/i386-run.sh). Debian 12's own qemu (7.2) is far too slow for Wine, so qemu-user
# alone comes from bookworm-backports; every other package comes from the release itself.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

need_pkgs=(
  cmake make g++ ninja-build
  mingw-w64 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  googletest libgtest-dev
  libssl-dev zlib1g-dev libxml2-dev nlohmann-json3-dev clang-format
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth imagemagick xdotool x11-utils
  python3 python3-cryptography python3-lxml python3-pytest xmlsec1 openssl osslsigncode
  file util-linux iproute2
)

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
arch_missing=0
dpkg --print-foreign-architectures | grep -qx i386 || arch_missing=1

# qemu-user 8 or later, only where the kernel cannot run i386 code itself.
qemu_missing=0
if [ "$("$here/i386-run.sh" --mode 2>/dev/null)" = none ]; then qemu_missing=1; fi
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
backports_list=/etc/apt/sources.list.d/kavorin-backports.list
qemu_cmds=()
if [ $qemu_missing -eq 1 ]; then
  if [ "$codename" = bookworm ]; then
    grep -rqs '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/ ||
      qemu_cmds+=("echo 'deb http://deb.debian.org/debian bookworm-backports main' > $backports_list")
    qemu_cmds+=("apt-get update" "apt-get install -y --no-install-recommends -t bookworm-backports qemu-user")
  else
    # Later releases carry qemu 8 or later in the release itself.
    qemu_cmds+=("apt-get install -y --no-install-recommends qemu-user")
  fi
fi

if [ ${#missing[@]} -eq 0 ] && [ $arch_missing -eq 0 ] && [ ${#qemu_cmds[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]:-none}${qemu_cmds:+ (and qemu-user 8 or later)}" >&2
  echo "Install them as root:" >&2
  [ $arch_missing -eq 1 ] && echo "  sudo dpkg --add-architecture i386" >&2
  [ ${#missing[@]} -gt 0 ] && echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  for c in "${qemu_cmds[@]}"; do echo "  sudo sh -c \"$c\"" >&2; done
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
[ $arch_missing -eq 1 ] && dpkg --add-architecture i386
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # A mirror in mid-sync can fail one index (often a security one); the install below then
  # works from the lists that did come and fails on its own if a package is really missing.
  apt-get update -qq || echo "setup: apt-get update reported errors; installing with the lists it has" >&2
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# --no-install-recommends keeps out qemu-user-binfmt, which would register qemu for every
# foreign binary on the whole machine.
if [ ${#qemu_cmds[@]} -gt 0 ]; then
  echo "Installing qemu-user (8 or later) for the 32-bit Wine"
  if [ "$codename" = bookworm ]; then
    grep -rqs '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/ ||
      echo 'deb http://deb.debian.org/debian bookworm-backports main' >"$backports_list"
    apt-get update -qq || echo "setup: apt-get update reported errors; installing with the lists it has" >&2
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user
  else
    apt-get install -y -qq --no-install-recommends qemu-user
  fi
fi
[ "$("$here/i386-run.sh" --mode)" != none ]
