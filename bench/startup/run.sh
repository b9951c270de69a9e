#!/usr/bin/env bash
# Start-up benchmark under Wine (and Xvfb when there is no display). Prints the medians.
# Usage: bench/startup/run.sh [build dir, default build/windows64] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build/windows64}
arch=$(grep -q 'KAVORIN_MINGW_ARCH:STRING=x86_64' "$dir/CMakeCache.txt" && echo x86_64 || echo i686)
cmake --build "$dir" --target startup_bench minimal_window KavorinInstaller >/dev/null
tools/wine-prefix.sh "$dir" "$arch"
export KAVORIN_WINEPREFIX="$PWD/$dir/wineprefix"
ls -l "$dir/KavorinInstaller.exe" build/windows/KavorinInstaller.exe 2>/dev/null | awk '{print "size of", $9 ":", $5, "bytes"}'
run=("$PWD/tools/wine-run.sh" "$PWD/$dir/bench/startup/startup_bench.exe" "$PWD/$dir/KavorinInstaller.exe" "$PWD/$dir/bench/startup/minimal_window.exe" "${2:-7}")
mkdir -p build/run && cd build/run
if [ -n "${DISPLAY:-}" ]; then "${run[@]}"; else xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"; fi
