#!/usr/bin/env bash
# Start-up benchmark under Wine (and Xvfb when there is no display): the shipped 32-bit installer
# against a minimal 32-bit window and against its own controls made straight on Win32, all
# started the same way. Prints the medians and the ratios.
# Usage: bench/startup/run.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=build/windows
cmake --build "$dir" --target startup_bench minimal_window controls_window KavorinInstaller >/dev/null
tools/wine-prefix.sh "$dir"
export KAVORIN_WINEPREFIX="$PWD/$dir/wineprefix"
echo "size of $dir/KavorinInstaller.exe: $(stat -c %s "$dir/KavorinInstaller.exe") bytes"
echo "32-bit code runs: $(tools/i386-run.sh --mode)"
winpath() { echo "Z:$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr / '\\'; }
run=("$PWD/tools/wine-run.sh" "$PWD/$dir/bench/startup/startup_bench.exe"
     "$(winpath "$dir/KavorinInstaller.exe")" "$(winpath "$dir/bench/startup/minimal_window.exe")" "${1:-7}"
     "$(winpath "$dir/bench/startup/controls_window.exe")")
mkdir -p build/run && cd build/run
if [ -n "${DISPLAY:-}" ]; then "${run[@]}"; else xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"; fi
