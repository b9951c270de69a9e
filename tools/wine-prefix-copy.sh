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
make_copy() {
  rm -rf "$prefix" "$prefix.new"
  # Tests running in the base prefix meanwhile create and remove their scratch folders (under
  # Temp): a file that vanishes during the copy is no loss, any other error is.
  if ! cp -al "$base" "$prefix.new" 2>"$prefix.err"; then
    if grep -v 'No such file or directory' "$prefix.err" | grep -q .; then
      cat "$prefix.err" >&2
      exit 1
    fi
  fi
  rm -f "$prefix.err"
  rm -rf "$prefix.new"/drive_c/users/*/Temp/*
  for f in system.reg user.reg userdef.reg; do
    rm -f "$prefix.new/$f"
    [ -f "$base/$f" ] && cp "$base/$f" "$prefix.new/$f"
  done
  touch "$prefix.new/.kavorin-copy"
  mv "$prefix.new" "$prefix"  # whole or not at all
}
if [ ! -f "$prefix/.kavorin-copy" ]; then
  # One maker at a time for each copy.
  exec 9>"$prefix.lock"
  flock 9
  [ -f "$prefix/.kavorin-copy" ] || make_copy
  exec 9>&-
fi
KAVORIN_WINEPREFIX="$prefix" exec "$@"
