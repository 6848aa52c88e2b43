#!/usr/bin/env bash
# Runs the installed programs under PREFIX (an unpacked package's usr/, or /usr on a fresh machine):
#   smoke-installed.sh PREFIX [--sample-ports]
# Checks --version and --help, then starts the monitor offscreen against the installed simulated
# engine with a configuration named by its absolute path, and waits for the engine to print the
# monitor's hello ("$" and the machine's name) and its description request, then does the same with the
# headless watch and no display, stopped by SIGTERM. With --sample-ports the
# caller has given this script a private loopback, so the sample's fixed ports are free: the engine
# then runs on them and the monitor is started through corvane-monitor-start on its first start,
# which must create the user's configuration from the sample.
set -euo pipefail

prefix=${1:?usage: smoke-installed.sh PREFIX [--sample-ports]}
sample_ports=${2:-}
bin="$prefix/bin"
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for f in "$work"/*.out; do
        [ -e "$f" ] && { echo "--- $(basename "$f")" >&2; tail -n 20 "$f" >&2; }
    done
    exit 1
}
# wait_for FILE REGEX [FROM]: up to 20 seconds for a line of FILE after its first FROM lines to match.
wait_for() {
    for _ in $(seq 200); do
        tail -n "+$((${3:-0} + 1))" "$1" 2>/dev/null | grep -Eq "$2" && return 0
        sleep 0.1
    done
    return 1
}

version=$("$bin/corvane-monitor" --version) || fail "corvane-monitor --version exited with $?"
[[ $version =~ ^CorvaneMonitor\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "unexpected version text: $version"
echo "ok: $version"
"$bin/corvane-monitor" --help | grep -q '^Usage: corvane-monitor' || fail "corvane-monitor --help"
"$bin/corvane-engine-sim" --help >/dev/null || fail "corvane-engine-sim --help exited with $?"
echo "ok: --help of both programs"

# start_engine NAME ARGS...: the engine's output goes to NAME.out, its TCP port to $port.
start_engine() {
    local out="$work/$1.out"
    shift
    "$bin/corvane-engine-sim" --traffic-rate 0 --alarm-rate 0 "$@" >"$out" 2>&1 &
    pids+=($!)
    wait_for "$out" '^listening udp=[0-9]+ tcp=[0-9]+$' || fail "the engine did not start"
    port=$(sed -nE 's/^listening udp=[0-9]+ tcp=([0-9]+)$/\1/p' "$out")
}
# expect_hello ENGINE MONITOR_PID FROM: after the engine's first FROM lines, the monitor said hello and
# asked for the description, and it still runs.
expect_hello() {
    local out="$work/$1.out"
    wait_for "$out" '^[^ ]+:[0-9]+ \$.' "$3" || fail "no hello reached the engine"
    wait_for "$out" '^[^ ]+:[0-9]+ SSSSS$' "$3" || fail "no description request reached the engine"
    kill -0 "$2" 2>/dev/null || fail "the monitor ended"
}
lines() { wc -l <"$1"; }

export QT_QPA_PLATFORM=offscreen

# The sample configuration, named by its absolute path, against an engine on a port of its own choice.
sample="$prefix/share/corvane-monitor/monitor.ini"
[ -f "$sample" ] || fail "no sample configuration at $sample"
if [ "$sample_ports" = --sample-ports ]; then
    start_engine engine
else
    start_engine engine --udp-port 0 --tcp-port 0
fi
sed -E "s/^ENG_LOC_PORT,.*/ENG_LOC_PORT, $port\r/" "$sample" >"$work/site.ini"
"$bin/corvane-monitor" "$work/site.ini" >"$work/monitor.out" 2>&1 &
monitor=$!
pids+=("$monitor")
expect_hello engine "$monitor" 0
kill "$monitor"
echo "ok: the monitor started with $work/site.ini and greeted the engine on port $port"

# The headless watch of the same file, with no display at all, ends with status 0 on SIGTERM.
before=$(lines "$work/engine.out")
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/corvane-monitor" --headless "$work/site.ini" \
    >"$work/watch.out" 2>&1 &
watch=$!
pids+=("$watch")
expect_hello engine "$watch" "$before"
kill -TERM "$watch"
status=0
wait "$watch" || status=$?
[ "$status" = 0 ] || fail "the headless watch ended with status $status on SIGTERM"
echo "ok: the headless watch greeted the engine without a display and stopped cleanly"

if [ "$sample_ports" != --sample-ports ]; then
    echo "skipped: the start through corvane-monitor-start needs a private loopback"
    exit 0
fi
# The engine above listens on the sample's ports; the launcher's first start makes the configuration.
home="$work/home"
mkdir -p "$home"
before=$(lines "$work/engine.out")
HOME="$home" XDG_CONFIG_HOME="" XDG_STATE_HOME="" "$bin/corvane-monitor-start" >"$work/launcher.out" 2>&1 &
launcher=$!
pids+=("$launcher")
expect_hello engine "$launcher" "$before"
created="$home/.config/corvane-monitor/monitor.ini"
[ -f "$created" ] || fail "corvane-monitor-start made no $created"
grep -q "^LOG_FILE, \"$home/.local/state/corvane-monitor/Monitor.Log\"" "$created" ||
    fail "the created configuration does not put the log in the user's state folder"
[ "$(stat -c %a "$(dirname "$created")")" = 700 ] || fail "the configuration folder is open to others"
grep -c '^[A-Z_]*,' "$created" | grep -qx "$(($(grep -c '^[A-Z_]*,' "$sample") + 1))" ||
    fail "the created configuration is not the sample plus LOG_FILE"
echo "ok: corvane-monitor-start created $created from the sample and the monitor greeted the engine"
