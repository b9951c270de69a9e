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
for f in build/windows/KavorinInstaller.exe "$dir/KavorinInstaller.exe"; do
  [ -f "$f" ] && echo "size of $f: $(stat -c %s "$f") bytes"
done
winpath() { echo "Z:$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" | tr / '\\'; }
run=("$PWD/tools/wine-run.sh" "$PWD/$dir/bench/startup/startup_bench.exe"
     "$(winpath "$dir/KavorinInstaller.exe")" "$(winpath "$dir/bench/startup/minimal_window.exe")" "${2:-7}")
mkdir -p build/run && cd build/run
if [ -n "${DISPLAY:-}" ]; then "${run[@]}"; else xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"; fi
