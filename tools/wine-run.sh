#!/usr/bin/env bash
# Runs a Windows program under Wine, where 32-bit code can start (tools/i386-run.sh).
# The prefix is KAVORIN_WINEPREFIX, else <build dir>/wineprefix, where the build dir is the
# nearest folder above the program that holds a CMakeCache.txt.
# Usage: wine-run.sh <exe> [args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
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
# Wine's own loader picks the 32- or 64-bit half from the program's PE header.
exec "$here/i386-run.sh" /usr/lib/wine/wine "$@"
