#!/usr/bin/env bash
# Builds the Debian package: a Release build of the monitor and the simulated engine in
# build-package/, then cpack. Prints the path of the .deb it made.
#   scripts/package.sh
#   scripts/check-package.sh     then installs it on a fresh Debian 12 and runs it there
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_PACKAGE_DIR:-$top/build-package}

"$top/scripts/setup.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release
fi
# Only what the package holds: the tests are not built here.
cmake --build "$build" -j"$(nproc)" --target corvane-monitor corvane-engine-sim
rm -f "$build"/corvane-monitor_*.deb
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
deb=$(ls "$build"/corvane-monitor_*.deb)
echo "$deb"
