#!/bin/bash
# Builds the setup program and runs it under Wine with the given arguments.
# Without a display it runs on a virtual one (Xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${QV_BUILD_DIR:-$root/build}"
"$root/tools/build.sh" --target qv_setup_program >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${QV_UNDER_XVFB:-}" ]; then
  QV_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
fi
. "$root/tools/wine-lib.sh"
qv_wine_env "$build"
qv_wine_prepare
set +e
qv_wine_run "$build/bin/Q.V.PC.Rure.Setup.exe" "$@"
rc=$?
echo "exit code $rc" >&2
exit $rc
