#!/usr/bin/env bash
# Checks a built Windows program: PE format and machine for its architecture, subsystem, and
# that it imports only libraries that Windows always takes from the system folder (its known
# DLLs, and comctl32, which the manifest takes from the side-by-side store): any other import
# would be looked for beside the program first. Anything else is loaded at run time.
# Further files given must be carried inside the exe byte for byte (the embedded payloads).
# Usage: check-pe.sh <exe> <i686|x86_64> <gui|console> [embedded file...]
set -uo pipefail
exe=$1 arch=$2 kind=$3
shift 3
objdump=$arch-w64-mingw32-objdump
passed=0 failed=0
check() {  # check <what> <condition-exit-code>
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
headers=$($objdump -p "$exe") || { echo "FAILED: cannot read $exe"; echo "0 passed, 1 failed"; exit 1; }
if [ "$arch" = i686 ]; then magic=010b; format=pei-i386; else magic=020b; format=pei-x86-64; fi
grep -q "^Magic[[:space:]]*$magic" <<<"$headers"; check "PE magic $magic" $?
$objdump -f "$exe" | grep -q "file format $format"; check "file format $format" $?
if [ "$kind" = gui ]; then sub=00000002; else sub=00000003; fi
grep -q "^Subsystem[[:space:]]*$sub" <<<"$headers"; check "subsystem $kind" $?
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|msvcrt|WS2_32|COMCTL32)\.dll$'
while read -r dll; do
  grep -qiE "$allowed" <<<"$dll"; check "import of $dll is one Windows takes from the system folder only" $?
done < <(grep "DLL Name:" <<<"$headers" | awk '{print $3}')
for f in "$@"; do
  python3 -c 'import sys; sys.exit(open(sys.argv[2], "rb").read() not in open(sys.argv[1], "rb").read())' \
    "$exe" "$f"
  check "embeds $f byte for byte" $?
done
echo "$exe: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
