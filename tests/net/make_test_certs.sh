#!/bin/sh
# Makes the certificates of the HTTP test server in the given folder, with the openssl command
# line tool (RSA 2048, SHA-256, valid for decades):
#   ca.pem / ca.key          the test certificate authority
#   server.pem / server.key  signed by it, for upd.test, dl.test, localhost and 127.0.0.1
#   self.pem / self.key      self-signed, for the same names
#   wrong.pem / wrong.key    signed by the authority, for wrong.test only
set -eu
dir="$1"
mkdir -p "$dir"
cd "$dir"
days=10950

openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days "$days" -keyout ca.key -out ca.pem \
  -subj "/CN=Loopback Test Authority" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  2>/dev/null

sign() { # name subject alt-names
  openssl req -newkey rsa:2048 -sha256 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" \
    2>/dev/null
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$3" \
    > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -sha256 \
    -days "$days" -extfile "$1.ext" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}

sign server upd.test "DNS:upd.test,DNS:dl.test,DNS:localhost,IP:127.0.0.1"
sign wrong wrong.test "DNS:wrong.test"

openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days "$days" -keyout self.key -out self.pem \
  -subj "/CN=upd.test" \
  -addext "subjectAltName=DNS:upd.test,DNS:dl.test,DNS:localhost,IP:127.0.0.1" 2>/dev/null
