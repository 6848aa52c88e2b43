#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Tests that need a real X server get a
# private Xvfb started here and stopped on exit.
#
# Every test runs once. The offscreen tests run in the sanitizer build (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, build-sanitize/), followed by a short run of each fuzz target over its
# corpus and earlier findings (fuzz/README.md). The plain build (build/) makes the programs and runs
# what the sanitizers cannot: the tests on the real X server, the package test, and the test that
# bounds the resident memory. Building each test program once keeps the command within its time on a
# two-core machine. CORVANE_SANITIZE=0 runs every test in the plain build instead and fuzzes nothing.
# Arguments are passed to ctest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BUILD_DIR:-$top/build}
sanitize=${CORVANE_SANITIZE:-1}
plain_labels='x11|package|memory'

"$top/scripts/setup.sh"
if [ "$sanitize" = 0 ]; then
    "$top/scripts/build.sh"
else
    "$top/scripts/build.sh" corvane_plain_test_programs
fi

. "$top/scripts/private-xvfb.sh"
start_private_xvfb

if [ "$sanitize" = 0 ]; then
    (cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")
    exit 0
fi
(cd "$build" && ctest --output-on-failure -j"$(nproc)" -L "$plain_labels" "$@")
"$top/scripts/fuzz.sh" --build-only
(cd "${CORVANE_SANITIZE_DIR:-$top/build-sanitize}" &&
    ctest --output-on-failure -j"$(nproc)" -LE "$plain_labels" "$@")
"$top/scripts/fuzz.sh" --time 5
