#!/usr/bin/env bash
# Starts the installer: directly on Windows, else under Wine. With no X display it runs under
# Xvfb, writes a screenshot of the window and stops the program again.
# Usage: run-installer.sh
set -euo pipefail
dir=build/windows
case "$(uname -s)" in
  MINGW*|MSYS*|CYGWIN*) exec build/windows/KavorinInstaller.exe ;;
esac
tools/wine-prefix.sh "$dir"
export KAVORIN_WINEPREFIX="$PWD/$dir/wineprefix"
exe="$PWD/$dir/KavorinInstaller.exe"
work="$PWD/build/run"        # the installer writes its files into its working folder
mkdir -p "$work"
if [ -n "${DISPLAY:-}" ]; then
  cd "$work" && exec "$OLDPWD/tools/wine-run.sh" "$exe"
fi
shot="$PWD/build/screenshot.png"
echo "No X display: starting the installer under Xvfb for a screenshot."
tools/i386-run.sh xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  cd "$1" && "$2/tools/wine-run.sh" "$3" & pid=$!
  for i in $(seq 1 60); do
    xdotool search --name "KAVORIN Tizen Installer" >/dev/null 2>&1 && break; sleep 0.5; done
  sleep 2; import -window root "$4"; kill $pid 2>/dev/null; WINEPREFIX=$5 wineserver -k 2>/dev/null || true
' _ "$work" "$PWD" "$exe" "$shot" "$KAVORIN_WINEPREFIX"
echo "Screenshot of the window: $shot"
