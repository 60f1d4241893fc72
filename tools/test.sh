#!/bin/bash
# Builds everything and runs the whole test suite under Wine on a virtual display.
# Extra arguments go to ctest (for example -R foundation).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${QV_BUILD_DIR:-$root/build}"
"$root/tools/build.sh"
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$root/tools/test-session.sh" "$build" "$@"
