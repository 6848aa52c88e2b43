#!/usr/bin/env bash
# Installs what is missing, builds, then runs the simulated engine and the monitor against it in a
# real window. Closing the monitor stops the engine too.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BUILD_DIR:-$top/build}

"$top/scripts/setup.sh"
# Only the two programs it runs: the tests are built by scripts/test.sh.
"$top/scripts/build.sh" corvane-monitor corvane-engine-sim

# The monitor reads its configuration from its own folder; give it the sample one, unless the copy
# there is newer (rewritten with "Make ini file with current settings").
cp -u "$top/data/monitor.ini" "$build/src/monitor.ini"
"$build/tools/engine-sim/corvane-engine-sim" &
engine_pid=$!
trap 'kill $engine_pid 2>/dev/null || true' EXIT
"$build/src/corvane-monitor" "$@"
