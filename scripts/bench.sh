#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and runs them all, each printing its table rows.
# Figures depend on the machine and on what else runs on it; the load average is printed with them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BENCH_DIR:-$top/build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release
fi
benches=()
for source in "$top"/bench/bench_*.cpp; do
    benches+=("$(basename "$source" .cpp)")
done
cmake --build "$build" -j2 --target "${benches[@]}"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
status=0
for bench in "${benches[@]}"; do
    echo "== $bench"
    QT_QPA_PLATFORM=offscreen "$build/bench/$bench" "$@" || status=1
done
exit $status
