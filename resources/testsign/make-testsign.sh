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

# Fixed validity window, as the widget's test keys have.
start=20240101000000Z
end=20371231235959Z

cat >"$work/ca.cnf" <<CNF
[ ca ]
default_ca = test_ca
[ test_ca ]
database        = $work/index.txt
serial          = $work/serial
new_certs_dir   = $work
default_md      = sha256
policy          = any
unique_subject  = no
preserve        = yes
copy_extensions = none
[ any ]
commonName             = supplied
organizationName       = optional
organizationalUnitName = optional
[ req ]
distinguished_name = dn
prompt             = no
[ dn ]
[ root_ext ]
basicConstraints     = critical, CA:TRUE
keyUsage             = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[ leaf_ext ]
basicConstraints       = critical, CA:FALSE
keyUsage               = critical, digitalSignature
extendedKeyUsage       = codeSigning
subjectKeyIdentifier   = hash
authorityKeyIdentifier = keyid:always
CNF
: >"$work/index.txt"
echo 2000 >"$work/serial"

org="/O=KAVORIN TEST ONLY/OU=Not for distribution"
openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:3072 -out "$work/root.key"
openssl req -new -config "$work/ca.cnf" -key "$work/root.key" -subj "$org/CN=KAVORIN Test Code Signing Root CA" \
  -out "$work/root.csr"
openssl ca -batch -notext -config "$work/ca.cnf" -selfsign -keyfile "$work/root.key" -startdate "$start" \
  -enddate "$end" -extensions root_ext -in "$work/root.csr" -out "$out/root-ca.crt" 2>/dev/null

openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:3072 -out "$work/leaf.key"
openssl req -new -config "$work/ca.cnf" -key "$work/leaf.key" -subj "$org/CN=KAVORIN Test Code Signing" \
  -out "$work/leaf.csr"
openssl ca -batch -notext -config "$work/ca.cnf" -cert "$out/root-ca.crt" -keyfile "$work/root.key" \
  -startdate "$start" -enddate "$end" -extensions leaf_ext -in "$work/leaf.csr" -out "$work/leaf.crt" 2>/dev/null
openssl verify -CAfile "$out/root-ca.crt" "$work/leaf.crt" >/dev/null

# The build signs from a PKCS#12 file and a file holding its password, as with a vendor's
# certificate. The root's key is not kept: a new certificate means a new root.
printf 'kavorin-test-only\n' >"$out/codesign-password.txt"
openssl pkcs12 -export -name "KAVORIN Test Code Signing" -inkey "$work/leaf.key" -in "$work/leaf.crt" \
  -passout "file:$out/codesign-password.txt" -out "$out/codesign.p12"
echo "test code-signing certificate written to $out"
