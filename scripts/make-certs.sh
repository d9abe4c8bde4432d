#!/usr/bin/env bash
# Makes a throwaway certificate authority and a server certificate it signed, for the demo
# and the tests: DIR/ca.pem, DIR/server.pem (with the CA's certificate after it) and
# DIR/server.key. The server certificate names localhost and 127.0.0.1.
# Usage: make-certs.sh DIR [DAYS]   (DAYS of validity, default 30)
set -euo pipefail
dir=$1
days=${2:-30}
mkdir -p "$dir"
cd "$dir"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ca.key -out ca.pem \
  -days "$days" -subj "/CN=Zorvi throwaway CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
  2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout server.key \
  -out server.csr -subj "/CN=localhost" 2>/dev/null
printf '%s\n' "subjectAltName=DNS:localhost,IP:127.0.0.1" "basicConstraints=CA:FALSE" \
  "extendedKeyUsage=serverAuth" >server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days "$days" \
  -extfile server.ext -out server.crt 2>/dev/null
cat server.crt ca.pem >server.pem
rm -f server.csr server.ext server.crt ca.srl
chmod 600 ca.key server.key
