#!/bin/bash
# Runs one command (a test program under Wine) with the project's HTTP(S) test
# server beside it. The server listens on 127.0.0.1 only, with certificates made
# here for this one run: a test root, a server certificate for "localhost"
# signed by it, and a self-signed one that nothing trusts. The test program
# finds everything through QV_TEST_SERVER_FOLDER (a Windows path): "ports",
# "requests.log" and the root "test-root.der", which it puts into its private
# prefix's Root store itself.
#
# The server is stopped when the command ends, fails or is interrupted; should
# this script be killed outright, the server notices its parent is gone and ends.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

folder=$(mktemp -d "${TMPDIR:-/tmp}/qv-test-server.XXXXXX") || exit 1
server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  rm -rf "$folder"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

make_certificates() {
  cd "$folder" || return 1
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=QV test root $$" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout test-root.key -out test-root.pem &&
  openssl x509 -in test-root.pem -outform der -out test-root.der &&
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout server.key -out server.csr &&
  printf '%s\n' "subjectAltName=DNS:localhost" "basicConstraints=CA:FALSE" \
    "keyUsage=critical,digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth" >server.ext &&
  openssl x509 -req -days 2 -in server.csr -CA test-root.pem -CAkey test-root.key -CAcreateserial \
    -extfile server.ext -out server.pem &&
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost" -keyout untrusted.key -out untrusted.pem
}
if ! (make_certificates) >"$folder/openssl.log" 2>&1; then
  echo "could not make the test certificates:" >&2
  cat "$folder/openssl.log" >&2
  exit 1
fi

python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" "$here/http-test-server.py" --folder "$folder" --parent $$ \
  --cert "$folder/server.pem" --key "$folder/server.key" \
  --untrusted-cert "$folder/untrusted.pem" --untrusted-key "$folder/untrusted.key" \
  >"$folder/server.out" 2>&1 </dev/null &
server_pid=$!

for _ in $(seq 100); do
  [ -f "$folder/ports" ] && break
  if ! kill -0 "$server_pid" 2>/dev/null; then break; fi
  sleep 0.05
done
if [ ! -f "$folder/ports" ]; then
  echo "the test server did not start:" >&2
  cat "$folder/server.out" >&2
  exit 1
fi

export QV_TEST_SERVER_FOLDER="Z:${folder//\//\\}"
"$@"
rc=$?
exit $rc
