#!/bin/bash
# Runs ctest inside one Wine session (private prefix, persistent wineserver) and
# stops that session at the end, also when a test fails or the run is interrupted.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$1"; shift
. "$root/tools/wine-lib.sh"
qv_wine_env "$build"
qv_wine_prepare || { echo "could not prepare the Wine prefix (see $QV_WINE_DIR/prepare.log)"; exit 1; }
trap qv_wine_session_stop EXIT
trap 'exit 130' INT TERM
qv_wine_session_start
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
