#!/usr/bin/env bash
# Creates (once) the Wine prefix of a build directory, so tests do not race to create it.
# Usage: wine-prefix.sh <build dir> <x86_64|i686>
set -euo pipefail
prefix="$(cd "$1" && pwd)/wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$2" = x86_64 ]; then wine=/usr/lib/wine/wine64; else wine=wine; fi
if [ ! -f "$prefix/.kavorin-ready" ]; then
  "$wine" wineboot -i >/dev/null 2>&1 || true
  # Wine draws the window frames itself: test displays (Xvfb) have no window manager, and
  # screenshots should show the caption bar a user sees.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  # Wine's own Tahoma (package fonts-wine): the window's font, Cyrillic included.
  for f in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf; do
    [ -f "$f" ] && cp "$f" "$prefix/drive_c/windows/Fonts/"
  done
  wineserver -w 2>/dev/null || true
  [ -f "$prefix/system.reg" ] || { echo "could not create the Wine prefix $prefix" >&2; exit 1; }
  touch "$prefix/.kavorin-ready"
fi
