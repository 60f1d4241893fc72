#!/bin/bash
# Builds the benchmark program and runs it under Wine (extra arguments name the
# benchmarks to run), then prints OpenSSL's figures for the same work measured
# on this machine in the same run, where openssl is installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${QV_BUILD_DIR:-$root/build}"
"$root/tools/build.sh" --target bench >/dev/null
. "$root/tools/wine-lib.sh"
qv_wine_env "$build"
qv_wine_prepare
qv_wine_run "$build/bin/bench.exe" "$@"

if [ $# -eq 0 ] || [[ " $* " == *" signature "* ]]; then
  if command -v openssl >/dev/null; then
    openssl speed -seconds 3 ed25519 2>/dev/null |
      awk '/Ed25519/ { printf "openssl speed ed25519:            %8.0f verifications/s\n", $NF }'
    openssl speed -seconds 3 -bytes 16384 sha512 2>/dev/null |
      awk '$1 == "sha512" { v = $NF; sub(/k$/, "", v); printf "openssl speed sha512 (16 KiB):    %8.0f MB/s\n", v / 1000 }'
  else
    echo "openssl is not installed: no comparison figures"
  fi
fi
