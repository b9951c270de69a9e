#!/usr/bin/env bash
# Runs a Windows program under Wine with the screen set to another DPI (Wine's LogPixels).
# The prefix is a copy of KAVORIN_WINEPREFIX (hard links, registry files copied), made once.
# Usage: wine-dpi-run.sh <dpi> <exe> [args...]
set -euo pipefail
dpi=$1
shift
base=${KAVORIN_WINEPREFIX:?KAVORIN_WINEPREFIX must name the base Wine prefix}
prefix="$base-dpi$dpi"
if [ ! -f "$prefix/.kavorin-dpi" ]; then
  rm -rf "$prefix"
  cp -al "$base" "$prefix"
  for f in system.reg user.reg userdef.reg; do
    rm -f "$prefix/$f"
    [ -f "$base/$f" ] && cp "$base/$f" "$prefix/$f"
  done
  WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
  touch "$prefix/.kavorin-dpi"
fi
KAVORIN_WINEPREFIX="$prefix" exec "$(dirname "$0")/wine-run.sh" "$@"
