#!/usr/bin/env bash
# Release checks that need more than reading one file; each is one subcommand.
#
#   release-checks.sh signed EXE PAYLOAD_DIR MACHINE
#       Signs a copy of EXE with Authenticode (osslsigncode) and a throw-away certificate,
#       verifies the signature, and checks that the signed program still carries its payload
#       and version resource unchanged (check-payload.py).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case "${1:-}" in
  signed)
    exe=$2 payload=$3 machine=$4
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvid test signing" \
      -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Corvid Development Kit" \
      -h sha256 -in "$exe" -out "$work/signed.exe" >/dev/null
    osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >"$work/verify.log" 2>&1 || {
      cat "$work/verify.log"
      echo "signature does not verify" >&2
      exit 1
    }
    grep -q "Signature verification: ok" "$work/verify.log" || { cat "$work/verify.log"; exit 1; }
    echo "ok    signed with a throw-away certificate; the signature verifies"
    /usr/bin/python3 "$here/check-payload.py" --machine "$machine" "$work/signed.exe" "$payload"
    ;;
  *)
    sed -n '2,7p' "$0" >&2
    exit 2
    ;;
esac
