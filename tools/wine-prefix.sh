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
  wineserver -w 2>/dev/null || true
  [ -f "$prefix/system.reg" ] || { echo "could not create the Wine prefix $prefix" >&2; exit 1; }
  touch "$prefix/.kavorin-ready"
fi
# Wine's own Tahoma (package fonts-wine), the window's font with Cyrillic, and Marlett, which
# draws the symbols on the caption buttons.
for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
  [ -f "/usr/share/wine/fonts/$f" ] && [ ! -f "$prefix/drive_c/windows/Fonts/$f" ] &&
    cp "/usr/share/wine/fonts/$f" "$prefix/drive_c/windows/Fonts/"
done
exit 0
