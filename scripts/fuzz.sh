#!/usr/bin/env bash
# Builds the sanitizer build (clang, ASan+UBSan, libFuzzer) when needed, replays the inputs of every
# finding so far (fuzz/regressions/<target>/), then fuzzes each target from its seed corpus.
#
#   scripts/fuzz.sh [--time SECONDS | --runs N] [target ...]
#   scripts/fuzz.sh --build-only      (builds every program of the sanitizer build, tests included)
#
# Targets are framing, dispatch, ini and logplay (all by default); the default is 60 seconds each.
# The corpus a run grows is kept in build-sanitize/fuzz-corpus/<target>/ and reused by the next run;
# findings go to build-sanitize/fuzz-findings/<target>/. Exits non-zero when a target finds anything.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_SANITIZE_DIR:-$top/build-sanitize}

seconds=60
runs=0
build_only=0
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
    --time) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build-only) build_only=1; shift ;;
    -h | --help) sed -n '2,11p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
    esac
done
[ ${#targets[@]} -eq 0 ] && targets=(framing dispatch ini logplay)

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
        -DCORVANE_SANITIZE=ON
fi
if [ $build_only = 1 ]; then
    exec cmake --build "$build" -j"$(nproc)"
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

# One of the figures libFuzzer prints at the end of a run (-print_final_stats=1).
stat() { sed -n "s/^stat::$1: *//p" "$2"; }

status=0
for t in "${targets[@]}"; do
    bin="$build/fuzz/fuzz_$t"
    work="$build/fuzz-corpus/$t"
    findings="$build/fuzz-findings/$t"
    mkdir -p "$work" "$findings"
    regressions=("$top/fuzz/regressions/$t"/*)
    if [ -e "${regressions[0]}" ]; then
        echo "== fuzz_$t: replaying ${#regressions[@]} earlier finding(s)"
        if ! "$bin" "${regressions[@]}" >"$findings/replay.log" 2>&1; then
            tail -n 40 "$findings/replay.log"
            echo "== fuzz_$t: an earlier finding is back (full output in $findings/replay.log)"
            status=1
            continue
        fi
    fi
    options=(-timeout=30 -reload=0 -print_final_stats=1 -artifact_prefix="$findings/")
    [ -f "$top/fuzz/$t.dict" ] && options+=(-dict="$top/fuzz/$t.dict")
    history=()
    case $t in
    dispatch | logplay)
        # These serve many inputs with one monitor (fuzz/FuzzRig.h): what an input leaves in memory is
        # the monitor's state, not a leak, so LeakSanitizer looks once, at the end of the run. A few
        # dozen engine messages or log lines make an input; the monitor's state builds up across inputs.
        options+=(-detect_leaks=0 -max_len=512)
        mkdir -p "$findings/history"
        history=(env CORVANE_FUZZ_HISTORY="$findings/history")
        ;;
    # A stream of a kilobyte in chunks, one of them perhaps repeated past the message limit.
    framing) options+=(-max_len=1024) ;;
    ini) options+=(-max_len=2048) ;;
    esac
    # A long run goes in segments of at most ten minutes, each a fresh process over the corpus grown so
    # far: a sanitizer process slows down as its records of allocations pile up (to a third of its
    # first speed within the hour), and a fresh one starts fast again.
    if [ "$runs" -gt 0 ]; then
        echo "== fuzz_$t: $runs executions"
    else
        echo "== fuzz_$t: $seconds seconds"
    fi
    executed=0
    while :; do
        if [ "$runs" -gt 0 ]; then
            limit=(-runs=$((runs - executed)) -max_total_time=600)
        else
            limit=(-max_total_time="$seconds")
        fi
        if ! "${history[@]}" "$bin" "${limit[@]}" "${options[@]}" "$work" "$top/fuzz/corpus/$t" \
            >"$findings/run.log" 2>&1; then
            tail -n 60 "$findings/run.log"
            echo "== fuzz_$t: FINDING after $executed earlier executions (input saved in $findings/," \
                "full output in $findings/run.log)"
            [ ${#history[@]} -gt 0 ] &&
                echo "   if the input alone does not reproduce it: $bin $findings/history/*"
            status=1
            break
        fi
        segment=$(stat number_of_executed_units "$findings/run.log")
        executed=$((executed + segment))
        echo "   $segment executions, $(stat average_exec_per_sec "$findings/run.log") a second, peak" \
            "$(stat peak_rss_mb "$findings/run.log") MB resident"
        [ "$runs" -gt 0 ] && [ "$executed" -lt "$runs" ] || break
    done
    echo "   $executed executions in all"
done
exit $status
