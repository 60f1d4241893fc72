#!/bin/bash
# Writes SHA-512 digests made by coreutils' sha512sum and Ed25519 signatures
# made by OpenSSL (3.x) over fresh random messages, one per line in hexadecimal, for the foundation tests to
# check our own SHA-512 and signature verifier against:
#   sha512 <message> <digest>
#   ed25519 <public key> <message> <signature>
# Usage: make-reference-vectors.sh OUTPUT_FILE
set -euo pipefail
out="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

hex() { od -An -v -tx1 | tr -d ' \n'; }

{
  echo "# made by tools/make-reference-vectors.sh with $(sha512sum --version | head -n 1) and $(openssl version)"

  # Every tail length around the padding edges of one and two 128-byte blocks.
  head -c 70000 /dev/urandom >"$work/random"
  for length in $(seq 0 20) $(seq 100 140) $(seq 230 270) 1000 65536 70000; do
    head -c "$length" "$work/random" >"$work/message"
    digest=$(sha512sum <"$work/message" | cut -d' ' -f1)
    message=$(hex <"$work/message")
    echo "sha512 ${message:--} $digest"
  done

  # OpenSSL cannot sign an empty message read from a file; the published
  # vectors in the tests cover that case.
  key_number=0
  for length in $(seq 1 33) 63 64 65 111 112 113 127 128 129 255 256 1000 4096 65536; do
    if [ $((key_number++ % 8)) -eq 0 ]; then
      openssl genpkey -algorithm ed25519 -out "$work/key.pem" 2>/dev/null
      key=$(openssl pkey -in "$work/key.pem" -pubout -outform DER | tail -c 32 | hex)
    fi
    head -c "$length" /dev/urandom >"$work/message"
    signature=$(openssl pkeyutl -sign -rawin -inkey "$work/key.pem" -in "$work/message" | hex)
    echo "ed25519 $key $(hex <"$work/message") $signature"
  done
} >"$out.tmp"
mv "$out.tmp" "$out"
