#!/usr/bin/env bash
# Every C++ file git knows in the tree against the root .clang-format; prints the files that differ.
# Usage: tools/check-format.sh   (clang-format -i <file> fixes one)
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is not installed: make setup" >&2; exit 1; }
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' |
                     while IFS= read -r f; do [ -f "$f" ] && echo "$f"; done)
if ! out=$(clang-format --dry-run -Werror "${files[@]}" 2>&1); then
  echo "not in the tree's style (clang-format -i fixes it):" >&2
  grep -o '^[^:]*\.\(cpp\|h\):' <<<"$out" | sort -u | tr -d : >&2
  exit 1
fi
