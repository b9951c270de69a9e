#!/usr/bin/env bash
# Runs a command with a Wine prefix of its own: a copy of KAVORIN_WINEPREFIX named
# <prefix>-<name>, made once (hard links; the registry files, which Wine rewrites, copied). A
# test that needs its own wineserver (its own desktop, display or settings) runs beside others.
# Usage: wine-prefix-copy.sh <name> <command> [args...]
set -euo pipefail
name=$1
shift
base=${KAVORIN_WINEPREFIX:?KAVORIN_WINEPREFIX must name the base Wine prefix}
prefix="$base-$name"
if [ ! -f "$prefix/.kavorin-copy" ]; then
  rm -rf "$prefix"
  cp -al "$base" "$prefix"
  for f in system.reg user.reg userdef.reg; do
    rm -f "$prefix/$f"
    [ -f "$base/$f" ] && cp "$base/$f" "$prefix/$f"
  done
  touch "$prefix/.kavorin-copy"
fi
KAVORIN_WINEPREFIX="$prefix" exec "$@"
