#!/usr/bin/env bash
# Runs a Windows program under Wine with the screen set to another DPI (Wine's LogPixels), in a
# copy of KAVORIN_WINEPREFIX of its own.
# Usage: wine-dpi-run.sh <dpi> <exe> [args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --in-copy ]; then
  exec "$here/wine-prefix-copy.sh" "dpi$1" "$0" --in-copy "$@"
fi
dpi=$2
shift 2
if [ ! -f "$KAVORIN_WINEPREFIX/.kavorin-dpi" ]; then
  WINEPREFIX="$KAVORIN_WINEPREFIX" WINEDEBUG=-all /usr/lib/wine/wine64 reg add \
    'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  WINEPREFIX="$KAVORIN_WINEPREFIX" wineserver -w
  touch "$KAVORIN_WINEPREFIX/.kavorin-dpi"
fi
exec "$here/wine-run.sh" "$@"
