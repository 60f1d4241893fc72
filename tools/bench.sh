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

# The "install" benchmark installs from a release of its own (--mib N MiB of
# port files, 256 by default), made afresh with the release tool.
if [ $# -eq 0 ] || [[ " $* " == *" install "* ]]; then
  mib=256
  previous=""
  for argument in "$@"; do
    [ "$previous" = "--mib" ] && mib="$argument"
    previous="$argument"
  done
  "$root/tools/build.sh" --target qv_setup_program pkg-extract-standin >/dev/null
  echo "Making a release of $mib MiB for the install benchmark..."
  python3 "$root/bench/make-install-release.py" "$build" "$mib" "$build/bench-release"
  export QV_BENCH_SETUP="Z:$(printf '%s' "$build/bench-release/Q.V.PC.Rure.Setup.exe" | tr / '\\')"
fi

# The "range" benchmark downloads from the tests' local HTTPS server, started
# around the program as the network tests start it.
if [ $# -eq 0 ] || [[ " $* " == *" range "* ]]; then
  "$root/tests/support/with-test-server.sh" "$build/wine-exec.sh" "$build/bin/bench.exe" "$@"
else
  qv_wine_run "$build/bin/bench.exe" "$@"
fi

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
