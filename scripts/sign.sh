#!/usr/bin/env bash
# Signs a Windows program with Authenticode (SHA-256) through osslsigncode, then proves that the
# signature is all that changed: removing it must give IN back byte for byte.
#
#   scripts/sign.sh KEY [--timestamp URL] IN OUT
#   scripts/sign.sh --check KEY [--timestamp URL]      checks the options only
#
#   KEY  --pkcs12 FILE                   certificate and key in a PKCS#12 file
#        --pkcs11 URI [--pkcs11-module LIB] [--certs FILE]
#                                        a key on a token; its certificate from the token at the
#                                        same URI, or from FILE. LIB defaults to p11-kit's proxy,
#                                        which reaches every token registered with p11-kit.
#   --timestamp URL                      an RFC 3161 time-stamp authority
#
# The PKCS#12 password or the token's PIN comes from QV_SIGN_PASSWORD and reaches osslsigncode
# through a pipe: on a command line every user of the machine could read it.
set -euo pipefail

USAGE="usage: scripts/sign.sh (--pkcs12 FILE | --pkcs11 URI [--pkcs11-module LIB] [--certs FILE])
                       [--timestamp URL] IN OUT"
check_only=
pkcs12= pkcs11= module= certs= timestamp=
files=()

bad_usage() {
  echo "sign: $1" >&2
  [ -n "$check_only" ] || echo "$USAGE" >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    --check) check_only=1; shift; continue ;;
    --pkcs12|--pkcs11|--pkcs11-module|--certs|--timestamp)
      [ $# -ge 2 ] && [ -n "$2" ] || bad_usage "$1 needs a value" ;;
    -*) bad_usage "unknown option $1" ;;
    *) files+=("$1"); shift; continue ;;
  esac
  case "$1" in
    --pkcs12) pkcs12=$2 ;;
    --pkcs11) pkcs11=$2 ;;
    --pkcs11-module) module=$2 ;;
    --certs) certs=$2 ;;
    --timestamp) timestamp=$2 ;;
  esac
  shift 2
done

if [ -n "$pkcs12" ] && [ -n "$pkcs11" ]; then bad_usage "--pkcs12 and --pkcs11 exclude each other"; fi
[ -n "$pkcs12$pkcs11" ] || bad_usage "no key: give --pkcs12 FILE or --pkcs11 URI"
if [ -z "$pkcs11" ] && [ -n "$module$certs" ]; then bad_usage "--pkcs11-module and --certs go with --pkcs11"; fi
[ -z "$pkcs11" ] || [[ "$pkcs11" == pkcs11:* ]] || bad_usage "--pkcs11 takes a pkcs11: URI, not $pkcs11"
if [ -n "$check_only" ]; then
  [ ${#files[@]} -eq 0 ] || bad_usage "--check takes no files"
else
  [ ${#files[@]} -eq 2 ] || bad_usage "give the file to sign and the signed file to write"
fi

for file in "$pkcs12" "$certs" "$module"; do
  [ -z "$file" ] || [ -r "$file" ] || { echo "sign: cannot read $file" >&2; exit 1; }
done
if [ -n "$pkcs12" ] && [ -z "${QV_SIGN_PASSWORD+set}" ]; then
  echo "sign: set QV_SIGN_PASSWORD to the password of $pkcs12 (empty for none)" >&2
  exit 1
fi
[ -z "$check_only" ] || exit 0

command -v osslsigncode >/dev/null || { echo "sign: osslsigncode missing; run scripts/setup.sh" >&2; exit 1; }
if [ -n "$pkcs11" ] && [ -z "$module" ]; then
  module=$(compgen -G "/usr/lib/*/p11-kit-proxy.so" | sed -n 1p) ||
    { echo "sign: no p11-kit proxy here; name the token's library with --pkcs11-module" >&2; exit 1; }
fi

in=${files[0]} out=${files[1]}
[ -f "$in" ] || { echo "sign: $in is missing" >&2; exit 1; }
[ "$(realpath -m "$in")" != "$(realpath -m "$out")" ] || bad_usage "IN and OUT are one file"

args=(sign -h sha256 -n "Quorvane CSP Setup")
if [ -n "$pkcs12" ]; then
  args+=(-pkcs12 "$pkcs12")
else
  args+=(-pkcs11module "$module" -key "$pkcs11")
  if [ -n "$certs" ]; then args+=(-certs "$certs"); else args+=(-pkcs11cert "$pkcs11"); fi
fi
[ -z "$timestamp" ] || args+=(-ts "$timestamp")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "${QV_SIGN_PASSWORD+set}" ]; then
  osslsigncode "${args[@]}" -readpass /dev/stdin -in "$in" -out "$work/signed" \
    < <(printf '%s' "$QV_SIGN_PASSWORD") >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
else
  osslsigncode "${args[@]}" -in "$in" -out "$work/signed" </dev/null >"$work/log" 2>&1 ||
    { cat "$work/log" >&2; exit 1; }
fi
osslsigncode remove-signature -in "$work/signed" -out "$work/stripped" >/dev/null 2>&1 || true
if ! cmp -s "$in" "$work/stripped"; then
  echo "sign: the signed file differs from $in beyond its signature; not written" >&2
  exit 1
fi
mv "$work/signed" "$out"
echo "sign: $out signed (SHA-256$([ -z "$timestamp" ] || echo ", time-stamped by $timestamp"))"
