#!/usr/bin/env bash
# Makes the TEST-ONLY signing PKI for the sample widget package:
#
#   KAVORIN Test Root CA  (self-signed, trust anchor for tests only)
#   ├── KAVORIN Test Author CA       └── author       (author-signature.xml)
#   └── KAVORIN Test Distributor CA  └── distributor  (signature1.xml)
#
# A retail TV trusts none of these. Run it only when the test keys must change: every run makes
# new keys and serial numbers, so the package bytes (and the signature CRCs) change with it.
#
# Usage: make-testkeys.sh [output-dir]   (default: the folder of this script)
set -euo pipefail

out=${1:-$(cd "$(dirname "$0")" && pwd)}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Fixed validity window. notAfter stays before 2038-01-19 because the device's certificate code
# keeps times in a 32-bit time_t.
start=20240101000000Z
end=20371231235959Z

cat >"$work/ca.cnf" <<CNF
[ ca ]
default_ca = test_ca
[ test_ca ]
dir             = $work
database        = $work/index.txt
serial          = $work/serial
new_certs_dir   = $work
default_md      = sha256
policy          = any
unique_subject  = no
preserve        = yes
copy_extensions = none
email_in_dn     = no
[ any ]
commonName       = supplied
organizationName = optional
organizationalUnitName = optional
[ req ]
distinguished_name = dn
prompt             = no
[ dn ]
[ root_ext ]
basicConstraints       = critical, CA:TRUE
keyUsage               = critical, keyCertSign, cRLSign
subjectKeyIdentifier   = hash
[ ca_ext ]
basicConstraints       = critical, CA:TRUE, pathlen:0
keyUsage               = critical, keyCertSign, cRLSign
subjectKeyIdentifier   = hash
authorityKeyIdentifier = keyid:always
[ leaf_ext ]
basicConstraints       = critical, CA:FALSE
keyUsage               = critical, digitalSignature
extendedKeyUsage       = codeSigning
subjectKeyIdentifier   = hash
authorityKeyIdentifier = keyid:always
CNF
: >"$work/index.txt"
echo 1000 >"$work/serial"

# key NAME BITS: a new unencrypted PKCS#8 RSA key.
key() { openssl genpkey -quiet -algorithm RSA -pkeyopt "rsa_keygen_bits:$2" -out "$out/$1.key"; }

# issue NAME SUBJECT EXT ISSUER: a certificate for NAME.key signed by ISSUER (or self-signed
# when ISSUER is "self").
issue() {
  local name=$1 subj=$2 ext=$3 issuer=$4
  openssl req -new -config "$work/ca.cnf" -key "$out/$name.key" -subj "$subj" -out "$work/$name.csr"
  if [ "$issuer" = self ]; then
    openssl ca -batch -notext -config "$work/ca.cnf" -selfsign -keyfile "$out/$name.key" \
      -startdate "$start" -enddate "$end" -extensions "$ext" \
      -in "$work/$name.csr" -out "$out/$name.crt" 2>/dev/null
  else
    openssl ca -batch -notext -config "$work/ca.cnf" -cert "$out/$issuer.crt" -keyfile "$out/$issuer.key" \
      -startdate "$start" -enddate "$end" -extensions "$ext" \
      -in "$work/$name.csr" -out "$out/$name.crt" 2>/dev/null
  fi
}

org="/O=KAVORIN TEST ONLY/OU=Not for distribution"
key root-ca 4096
issue root-ca "$org/CN=KAVORIN Test Root CA" root_ext self
key author-ca 3072
issue author-ca "$org/CN=KAVORIN Test Author CA" ca_ext root-ca
key distributor-ca 3072
issue distributor-ca "$org/CN=KAVORIN Test Distributor CA" ca_ext root-ca
key author 2048
issue author "$org/CN=KAVORIN Test Author" leaf_ext author-ca
key distributor 2048
issue distributor "$org/CN=KAVORIN Test Distributor" leaf_ext distributor-ca

# Check what we made: both chains verify, and nothing outlives 2038-01-19.
for leaf in author distributor; do
  openssl verify -CAfile "$out/root-ca.crt" -untrusted "$out/$leaf-ca.crt" "$out/$leaf.crt" >/dev/null
done
limit=$(( $(date -u -d 2038-01-19 +%s) - $(date -u +%s) ))
for c in root-ca author-ca distributor-ca author distributor; do
  # -checkend succeeds when the certificate is still valid $limit seconds from now.
  if openssl x509 -in "$out/$c.crt" -noout -checkend "$limit" >/dev/null; then
    echo "$c.crt is still valid on 2038-01-19" >&2; exit 1
  fi
done
echo "test keys written to $out"
