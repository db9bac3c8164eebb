#!/usr/bin/env bash
# make-certificate.sh OUT: the maker's code-signing certificate the installer carries, DER
# encoded, 494 bytes (a 1024-bit key and a five-character subject give exactly that size). A
# self-signed certificate names no authority key, which some openssl versions add by default.
set -euo pipefail
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:1024 -nodes -sha256 -set_serial 1 -days 3650 \
    -subj "/CN=CLMRA" -addext "basicConstraints=critical,CA:FALSE" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -addext "authorityKeyIdentifier=none" -keyout "$work/key.pem" -outform DER -out "$work/Calmora.cer" 2>/dev/null
size=$(stat -c %s "$work/Calmora.cer")
if [ "$size" -ne 494 ]; then
    echo "make-certificate.sh: the certificate has $size bytes, not 494" >&2
    exit 1
fi
mkdir -p "$(dirname "$out")"
mv "$work/Calmora.cer" "$out"
