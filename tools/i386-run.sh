#!/usr/bin/env bash
# Runs a command in which 32-bit x86 Linux programs can start: the i386 half of Wine, which runs
# the 32-bit installer and everything it starts.
#
# Where the kernel runs i386 code itself, or this shell already sits in our namespace, the
# command runs as it is. Elsewhere (kernels built without 32-bit support) it runs in a private
# user and mount namespace with a binfmt_misc instance of its own, in which qemu-i386 runs every
# i386 ELF. Nothing outside that namespace changes: the machine's own binfmt_misc is never
# touched (Linux 6.7 and later give each user namespace its own instance).
#
# Usage: i386-run.sh <command> [args...]
#        i386-run.sh --mode      prints native, emulated or none (and why, on stderr)
set -euo pipefail

# The smallest 32-bit Linux ELF that exits 0.
probe_runs() {
  local tmp rc=0
  tmp=$(mktemp)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x00\x00\x00\x00\xcd\x80' >"$tmp"
  chmod +x "$tmp"
  "$tmp" 2>/dev/null || rc=1
  rm -f "$tmp"
  return $rc
}

# qemu-i386 8 or later: 7.2 takes over a minute for each 32-bit Wine process.
find_qemu() {
  local q v
  q=${KAVORIN_QEMU_I386:-$(command -v qemu-i386 || true)}
  [ -n "$q" ] && [ -x "$q" ] || { echo "qemu-i386 is not installed (tools/setup-debian.sh installs it)" >&2; return 1; }
  v=$("$q" -version | sed -n 's/.*version \([0-9]*\)\..*/\1/p' | head -1)
  [ "${v:-0}" -ge 8 ] || { echo "$q is version ${v:-?}; 8 or later is needed (tools/setup-debian.sh installs it)" >&2; return 1; }
  echo "$q"
}

if [ "${1:-}" = --inside ]; then
  # Inside the new namespace: a binfmt_misc of our own, with i386 executables and shared
  # objects (e_type 2 and 3, e_machine 3) handed to qemu. F opens qemu now, so it runs from
  # any mount or path later.
  qemu=$2
  shift 2
  if ! mount -t binfmt_misc kavorin /proc/sys/fs/binfmt_misc 2>/dev/null; then
    echo "i386-run: this kernel ($(uname -r)) gives a user namespace no binfmt_misc of its own (Linux 6.7 or later does); 32-bit programs cannot start here" >&2
    exit 1
  fi
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":kavorin-i386:M::$magic:$mask:$qemu:F" >/proc/sys/fs/binfmt_misc/register
  exec "$@"
fi

if [ "${1:-}" = --mode ]; then
  if [ "${KAVORIN_I386:-}" = emulated ]; then echo emulated
  elif probe_runs; then echo native
  elif find_qemu >/dev/null; then echo emulated
  else echo none; exit 1
  fi
  exit 0
fi

[ $# -gt 0 ] || { echo "usage: $0 <command> [args...]" >&2; exit 2; }
if probe_runs; then
  exec "$@"
fi
qemu=$(find_qemu) || exit 1
# KAVORIN_I386 tells programs below (and their reports) how 32-bit code runs.
export KAVORIN_I386=emulated
exec unshare --user --map-root-user --mount -- "$0" --inside "$qemu" "$@"
