#!/usr/bin/env bash
# Creates (once) the Wine prefix of a build directory, so tests do not race to create it.
# Usage: wine-prefix.sh <build dir> <x86_64|i686>
set -euo pipefail
prefix="$1/wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  if [ "$2" = x86_64 ]; then /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  else wine wineboot -i >/dev/null 2>&1 || true; fi
fi
wineserver -w 2>/dev/null || true
[ -f "$prefix/system.reg" ] || { echo "could not create the Wine prefix $prefix" >&2; exit 1; }
