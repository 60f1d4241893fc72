#!/bin/bash
# Configures and builds the program and its tests into build/ (or $QV_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${QV_BUILD_DIR:-$root/build}"
"$root/tools/deps.sh"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" "$@"
