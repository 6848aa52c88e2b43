#!/usr/bin/env bash
# Configures (once) and builds the monitor, the simulated engine and the tests in build/; given target
# names, builds only those.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BUILD_DIR:-$top/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j"$(nproc)" ${1:+--target "$@"}
