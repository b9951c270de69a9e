#!/usr/bin/env bash
# Signs a built Windows program in place: Authenticode, SHA-256, with osslsigncode.
# The password is read from its file by osslsigncode itself and never appears in a command
# line or in the output.
# Usage: sign-exe.sh <exe> <pkcs12 file> <password file> <description> [timestamp server URL]
set -euo pipefail
exe=$1 pkcs12=$2 password=$3 description=$4 timestamp=${5:-}
args=(sign -pkcs12 "$pkcs12" -readpass "$password" -h sha256 -n "$description")
# RFC 3161: the signature then stays valid after the certificate has expired.
[ -n "$timestamp" ] && args+=(-ts "$timestamp")
rm -f "$exe.signing"
if ! log=$(osslsigncode "${args[@]}" -in "$exe" -out "$exe.signing" 2>&1); then
  rm -f "$exe.signing"
  echo "sign-exe: signing $exe failed:" >&2
  echo "$log" >&2
  exit 1
fi
mv -f "$exe.signing" "$exe"
