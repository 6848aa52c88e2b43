#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and runs them all: each prints its notes and its
# figures, and the figures are gathered at the end into one table with the machine's description.
# Figures depend on the machine and on what else runs on it; the load average is printed with them.
#
#   scripts/bench.sh                      # every bench/bench_*.cpp
#   scripts/bench.sh bench_board ...      # only these
#
# bench_startup, bench_reaction and bench_watch need an X server: a private Xvfb is started for them (and
# stopped at the end).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BENCH_DIR:-$top/build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release
fi
benches=()
if [ $# -gt 0 ]; then
    benches=("$@")
else
    for source in "$top"/bench/bench_*.cpp; do
        benches+=("$(basename "$source" .cpp)")
    done
fi
cmake --build "$build" -j2 --target "${benches[@]}"

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own; Xvfb picks a free number and tells it through the pipe.
start_xvfb() {
    command -v Xvfb >/dev/null || return 1
    exec 9>"$work/display"
    Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    exec 9>&-
    for _ in $(seq 100); do
        if [ -s "$work/display" ]; then
            display=":$(head -n1 "$work/display")"
            return 0
        fi
        sleep 0.05
    done
    return 1
}

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
status=0
for bench in "${benches[@]}"; do
    echo "== $bench"
    if [ "$bench" = bench_startup ] || [ "$bench" = bench_reaction ] || [ "$bench" = bench_watch ]; then
        if [ -z "$xvfb_pid" ] && ! start_xvfb; then
            echo "  no Xvfb: $bench not measured"
            status=1
            continue
        fi
        env DISPLAY="$display" QT_QPA_PLATFORM=xcb "$build/bench/$bench" | tee -a "$work/out" || status=1
    else
        QT_QPA_PLATFORM=offscreen "$build/bench/$bench" | tee -a "$work/out" || status=1
    fi
done
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
[ -n "$cpu" ] || cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n1)
ram=$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
os=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-unknown}")
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
compiler_version=$("${compiler:-c++}" --version 2>/dev/null | head -n1)
qt_version=$(pkg-config --modversion Qt6Core 2>/dev/null || true)

echo
echo "| Figure | Result | Target |"
echo "|---|---|---|"
{ grep '^@figure|' "$work/out" || true; } | while IFS='|' read -r _ name result target verdict; do
    case "$verdict" in
        met) target="$target (met)" ;;
        MISSED) target="$target (**missed**)" ;;
    esac
    echo "| $name | $result | $target |"
done
echo
echo "Machine: $cpu, $(nproc) cores, $ram RAM; $os, Linux $(uname -r)"
echo "Build: Release, ${compiler_version:-unknown compiler}, Qt ${qt_version:-unknown}"
echo "Load average (1, 5, 15 min): $load_start at the start, $load_end at the end"
echo "Command: scripts/bench.sh${*:+ $*}"
exit $status
