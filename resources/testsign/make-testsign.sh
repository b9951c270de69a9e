#!/usr/bin/env bash
# Makes the TEST-ONLY code-signing certificate that every build signs iu.exe and the installer
# with, unless a vendor's certificate is named (README.md, "Signing a build for users"):
#
#   KAVORIN Test Code Signing Root CA  (self-signed, trust anchor for tests only)
#   └── KAVORIN Test Code Signing      (codesign.p12: certificate and key)
#
# No Windows trusts these. Run it only when the test certificate must change.
#
# Usage: make-testsign.sh [output-dir]   (default: the folder of this script)
set -euo pipefail

out=${1:-$(cd "$(dirname "$0")" && pwd)}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
org="/O=KAVORIN TEST ONLY/OU=Not for distribution"
days=5000  # about 13 years

for k in root leaf; do openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:3072 -out "$work/$k.key"; done
openssl req -x509 -key "$work/root.key" -days $days -sha256 \
  -subj "$org/CN=KAVORIN Test Code Signing Root CA" -out "$out/root-ca.crt" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
  "extendedKeyUsage=codeSigning" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid:always" \
  >"$work/leaf.ext"
openssl req -new -key "$work/leaf.key" \
  -subj "$org/CN=KAVORIN Test Code Signing" -out "$work/leaf.csr"
openssl x509 -req -in "$work/leaf.csr" -CA "$out/root-ca.crt" -CAkey "$work/root.key" -set_serial 0x2001 \
  -days $days -sha256 -extfile "$work/leaf.ext" -out "$work/leaf.crt" 2>/dev/null
openssl verify -CAfile "$out/root-ca.crt" "$work/leaf.crt" >/dev/null

# The build signs from a PKCS#12 file and a file holding its password, as with a vendor's
# certificate. The root's key is not kept: a new certificate means a new root.
printf 'kavorin-test-only\n' >"$out/codesign-password.txt"
openssl pkcs12 -export -name "KAVORIN Test Code Signing" -inkey "$work/leaf.key" -in "$work/leaf.crt" \
  -passout "file:$out/codesign-password.txt" -out "$out/codesign.p12"
echo "test code-signing certificate written to $out"
