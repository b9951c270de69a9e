#!/usr/bin/env bash
# Creates (once) the Wine prefix of a build directory, so tests do not race to create it: a
# 64-bit prefix whose 32-bit half (syswow64) is set up where 32-bit code runs (tools/i386-run.sh).
# Usage: wine-prefix.sh <build dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix="$(cd "$1" && pwd)/wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.kavorin-ready" ]; then
  log="$1/wineprefix.log"
  if ! "$here/i386-run.sh" /usr/lib/wine/wine64 wineboot -i >"$log" 2>&1; then
    echo "could not create the Wine prefix $prefix: 'wine64 wineboot -i' failed; its output:" >&2
    cat "$log" >&2
    exit 1
  fi
  # Wine draws the window frames itself: test displays (Xvfb) have no window manager, and
  # screenshots should show the caption bar a user sees.
  "$here/i386-run.sh" /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1
  wineserver -w
  for f in system.reg drive_c/windows/syswow64/kernel32.dll; do
    [ -f "$prefix/$f" ] || { echo "the Wine prefix $prefix lacks $f; see $log" >&2; exit 1; }
  done
  touch "$prefix/.kavorin-ready"
fi
# Wine's own Tahoma (package fonts-wine), the window's font with Cyrillic, and Marlett, which
# draws the symbols on the caption buttons.
for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
  [ -f "/usr/share/wine/fonts/$f" ] && [ ! -f "$prefix/drive_c/windows/Fonts/$f" ] &&
    cp "/usr/share/wine/fonts/$f" "$prefix/drive_c/windows/Fonts/"
done
exit 0
