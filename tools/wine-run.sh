#!/usr/bin/env bash
# Runs a Windows program under Wine: the 64-bit loader for PE32+ files, the ordinary one for PE32.
# The prefix is KAVORIN_WINEPREFIX, else <build dir>/wineprefix, where the build dir is the
# nearest folder above the program that holds a CMakeCache.txt.
set -euo pipefail
exe=$1
if [ -z "${KAVORIN_WINEPREFIX:-}" ]; then
  d=$(cd "$(dirname "$exe")" && pwd)
  while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  [ -f "$d/CMakeCache.txt" ] || d=$(pwd)
  KAVORIN_WINEPREFIX="$d/wineprefix"
fi
export WINEPREFIX="$KAVORIN_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# PE machine: the word at (offset stored at 0x3c) + 4; 0x8664 is x86_64.
peoff=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((peoff + 4)) -N2 "$exe" | tr -d ' ')
if [ "$machine" = 8664 ]; then
  loader=${KAVORIN_WINE64:-/usr/lib/wine/wine64}
else
  loader=${KAVORIN_WINE:-wine}
fi
exec "$loader" "$@"
