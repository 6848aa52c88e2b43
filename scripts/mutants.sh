#!/usr/bin/env bash
# Plants the faults of tests/mutants.txt in a copy of the tree, one at a time, rebuilds what the fault
# touches, runs the tests and prints a table: each fault, caught or not, and the first test that
# failed. It is long (about two minutes a fault on a two-core machine), so it is not part of
# scripts/test.sh. Run it on an otherwise idle machine: the flood and burst tests measure against
# the clock, and on a machine busy with other work they fail with or without a fault.
#
#   scripts/mutants.sh                 # every fault
#   scripts/mutants.sh ID...           # only these
#   scripts/mutants.sh --check         # only check that every fault still applies to the tree
#   scripts/mutants.sh --plant ID      # plant one fault in the working tree itself and name its file,
#                                      # to try a few tests by hand (git checkout -- FILE takes it out)
#
# The copy and its build live in build-mutants/ (CORVANE_MUTANTS_DIR). The program's library is built
# shared there, and programs are not relinked when it changes, so a fault costs one object and one
# library link. The table is also written to build-mutants/mutants.md; docs/mutants.md keeps the last
# full run's table, and the test that caught a fault there runs first. The package test is left out:
# it builds a .deb, which no fault changes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${CORVANE_MUTANTS_DIR:-$top/build-mutants}
faults=$top/tests/mutants.txt
tree=$out/tree
build=$out/build
kept=$top/docs/mutants.md

# apply FILE-OF-FAULTS ID TREE: plants one fault; prints nothing and fails when it does not apply.
# check FILE-OF-FAULTS TREE: lists every fault that does not apply, and fails if there is one.
# ids FILE-OF-FAULTS: the faults' ids, one a line.
faults_tool() {
    python3 - "$@" <<'PY'
import re, sys

def read(path):
    faults, cur = [], None
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith("== "):
            ident, _, what = line[3:].partition(":")
            cur = {"id": ident.strip(), "what": what.strip(), "file": None, "old": [], "new": []}
            faults.append(cur)
        elif cur is None or line.startswith("#") or not line.strip():
            continue
        elif line.startswith("@ "):
            cur["file"] = line[2:].strip()
        elif line.startswith("-"):
            cur["old"].append(line[1:].strip())
        elif line.startswith("+"):
            cur["new"].append(line[1:].strip())
        else:
            sys.exit(f"{path}: cannot read: {line}")
    return faults

def planted(fault, tree):
    path = f"{tree}/{fault['file']}"
    try:
        text = open(path, encoding="utf-8").read()
    except OSError as e:
        return None, f"cannot read {fault['file']}: {e.strerror}"
    if not fault["old"]:
        return None, "no lines to replace"
    pattern = r"^([ \t]*)" + r"[ \t]*\n[ \t]*".join(re.escape(l) for l in fault["old"]) + r"[ \t]*$"
    found = list(re.finditer(pattern, text, re.M))
    if len(found) != 1:
        return None, f"{len(found)} matches in {fault['file']}"
    m = found[0]
    indent = m.group(1)
    new = ("\n" + indent).join(fault["new"])
    return (path, text[: m.start()] + (indent + new if fault["new"] else "") + text[m.end() :]), None

cmd, path = sys.argv[1], sys.argv[2]
faults = read(path)
if cmd == "ids":
    for f in faults:
        print(f["id"])
elif cmd == "what":
    for f in faults:
        if f["id"] == sys.argv[3]:
            print(f"{f['file']}\t{f['what']}")
elif cmd == "apply":
    ident, tree = sys.argv[3], sys.argv[4]
    fault = next((f for f in faults if f["id"] == ident), None)
    if fault is None:
        sys.exit(f"no fault {ident}")
    result, why = planted(fault, tree)
    if why:
        sys.exit(why)
    open(result[0], "w", encoding="utf-8").write(result[1])
elif cmd == "check":
    tree, bad = sys.argv[3], 0
    seen = set()
    for f in faults:
        if f["id"] in seen:
            print(f"{f['id']}: the id is used twice"); bad += 1
        seen.add(f["id"])
        _, why = planted(f, tree)
        if why:
            print(f"{f['id']}: {why}"); bad += 1
    print(f"{len(faults)} faults, {bad} that do not apply")
    sys.exit(1 if bad else 0)
PY
}

if [ "${1:-}" = "--check" ]; then
    faults_tool check "$faults" "$top"
    exit
fi
if [ "${1:-}" = "--plant" ]; then
    faults_tool apply "$faults" "$2" "$top"
    faults_tool what "$faults" "$2" | cut -f1
    exit
fi

mkdir -p "$out"
# The copy holds what the working tree holds now, committed or not. Time stamps are kept, so that
# the build there redoes only what changed since the last run.
rm -rf "$tree"
mkdir -p "$tree"
(cd "$top" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp -a --parents -t "$tree")
# A run that was stopped with a fault planted left that fault built: the file is rebuilt.
if [ -f "$out/planted" ]; then
    touch "$tree/$(cat "$out/planted")"
    rm -f "$out/planted"
fi
faults_tool check "$faults" "$tree" >/dev/null || { faults_tool check "$faults" "$tree"; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_SHARED_LIBS=ON \
        -DCMAKE_LINK_DEPENDS_NO_SHARED=ON >/dev/null
fi

. "$top/scripts/private-xvfb.sh"
start_private_xvfb

first_failure() { # ctest arguments; prints the first test that failed, or nothing
    (cd "$build" && ctest -j"$(nproc)" -LE package --timeout 300 --stop-on-failure "$@" 2>&1 || true) |
        sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: *\(test_[a-z0-9_]*\) .*\*\*\*.*/\1/p' | head -1
}

# run_phase INCLUDE EXCLUDE: runs the tests that match INCLUDE (all when empty) and not EXCLUDE; prints
# the test that caught the fault, or nothing. A test that fails among the others on a loaded machine
# but passes on its own did not catch the fault; the rest are run once more without it.
run_phase() {
    local include=$1 exclude=$2 failed
    for _ in 1 2 3; do
        failed=$(first_failure ${include:+-R "$include"} ${exclude:+-E "$exclude"})
        [ -z "$failed" ] && return
        if ! (cd "$build" && ctest -R "^$failed\$" --timeout 300 >/dev/null 2>&1); then
            echo "$failed"
            return
        fi
        exclude=${exclude:+$exclude|}^$failed\$
    done
}

# run_tests [TEST]: prints the test that caught the fault, or nothing. Most faults are caught by a quick
# test, so TEST (the one that caught it last time) runs first, then the quick tests, and the few that
# take longer than ten seconds only when nothing quicker caught it.
run_tests() {
    local caught slow
    slow=$(awk 'NF == 3 && $3 > 10 { print $1 }' "$build/Testing/Temporary/CTestCostData.txt" 2>/dev/null |
        paste -sd'|')
    if [ -n "${1:-}" ]; then
        caught=$(run_phase "^$1\$" "")
        [ -n "$caught" ] && { echo "$caught"; return; }
    fi
    caught=$(run_phase "" "${slow:+^($slow)\$}")
    [ -n "$caught" ] && { echo "$caught"; return; }
    if [ -n "$slow" ]; then run_phase "^($slow)\$" ""; fi
}

# caught_last_time ID: the test that caught the fault in the kept table, if any.
caught_last_time() {
    [ -f "$kept" ] || return 0
    awk -F' [|] ' -v id="$1" 'index($1, "| " id ":") == 1 && $3 ~ /^test_/ { print $3 }' "$kept" |
        sed 's/ *|$//' | head -1
}

echo "Building the unchanged tree..."
cmake --build "$build" -j"$(nproc)" >/dev/null
failing=$(run_tests)
if [ -n "$failing" ]; then
    echo "The unchanged tree fails $failing: fix that first." >&2
    exit 1
fi

if [ $# -gt 0 ]; then ids=("$@"); else mapfile -t ids < <(faults_tool ids "$faults"); fi
table=$out/mutants.md
{
    echo "| fault | file | caught by |"
    echo "|---|---|---|"
} >"$table"
caught=0
for id in "${ids[@]}"; do
    IFS=$'\t' read -r file what < <(faults_tool what "$faults" "$id")
    cp -p "$tree/$file" "$out/original"
    echo "$file" >"$out/planted"
    faults_tool apply "$faults" "$id" "$tree"
    if ! cmake --build "$build" -j"$(nproc)" >"$out/build.log" 2>&1; then
        result="(does not build)"
    else
        result=$(run_tests "$(caught_last_time "$id")")
        [ -n "$result" ] && caught=$((caught + 1))
        result=${result:-**not caught**}
    fi
    # Put back with a new time stamp, so that the next build takes the original again.
    cp "$out/original" "$tree/$file"
    touch "$tree/$file"
    rm -f "$out/planted"
    printf '| %s: %s | %s | %s |\n' "$id" "$what" "$file" "$result" | tee -a "$table"
done
cmake --build "$build" -j"$(nproc)" >/dev/null
echo
echo "$caught of ${#ids[@]} faults caught. The table is in $table."
# A run over every fault is kept in the tree, as the figures of record and the order of the next run.
if [ $# -eq 0 ]; then
    {
        echo "# Planted faults: the last full run"
        echo
        echo "\`scripts/mutants.sh\` wrote this table (see the README's \"Planted faults\"): $caught of ${#ids[@]} faults"
        echo "caught. The test named is the first one that failed with the fault planted; the next run tries it"
        echo "first."
        echo
        cat "$table"
    } >"$kept"
fi
