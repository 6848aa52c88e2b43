#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Tests that need a real X server get a
# private Xvfb started here and stopped on exit.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BUILD_DIR:-$top/build}

"$top/scripts/setup.sh"
"$top/scripts/build.sh"

xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    break
done

cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"

# The offscreen tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of
# each fuzz target over its corpus and earlier findings (fuzz/README.md). CORVANE_SANITIZE=0 skips this.
if [ "${CORVANE_SANITIZE:-1}" != 0 ]; then
    "$top/scripts/fuzz.sh" --build-only
    # test_hostile_flood measures the resident memory, which the sanitizers' quarantine inflates.
    (cd "${CORVANE_SANITIZE_DIR:-$top/build-sanitize}" &&
        ctest --output-on-failure -j"$(nproc)" -LE x11 -E '^test_hostile_flood$' "$@")
    "$top/scripts/fuzz.sh" --time 12
fi
