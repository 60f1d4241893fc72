#!/bin/bash
# Builds the payload benchmark and runs it under Wine; extra arguments go to it
# (--mib N, --files N, --runs N). It needs about 1 GiB of memory and 600 MiB of
# temporary disk space in the build folder's Wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${QV_BUILD_DIR:-$root/build}"
"$root/tools/build.sh" --target bench >/dev/null
. "$root/tools/wine-lib.sh"
qv_wine_env "$build"
qv_wine_prepare
qv_wine_run "$build/bin/bench.exe" "$@"
