#!/usr/bin/env bash
# Soak run: the real monitor against the simulated engine for a long stretch of busy traffic with
# random faults, then a report of crashes, messages lost over TCP and the monitor's memory.
#
#   scripts/soak.sh [minutes]          # default 10
#
# Settings from the environment: SOAK_RATE (traffic, messages per second, default 3000),
# SOAK_FAULT_EVERY (mean seconds between faults, default 15), SOAK_SEED (default 1),
# SOAK_RSS_GROWTH_KB (allowed growth of the monitor's resident memory from the end of the warm-up to
# the end, default 16384), SOAK_KEEP=1 keeps the working folder.
#
# How the monitor's side is counted: the monitor runs as the operator runs it (under a private Xvfb),
# and its own "Record Log File" is switched on through its Options menu with synthetic key presses,
# so every message it processes lands in its log file. The engine starts every TCP connection with a
# "#connection N" message (a type the monitor ignores, but records) and prints, for every connection
# it closes or that the monitor closes, how many well-formed messages and how many garbage messages it
# wrote. The messages recorded between two markers are what the monitor received on that connection.
# A connection the engine closed must arrive whole; a connection the monitor closed itself (its
# reconnect after an unanswered ping, or after an overlong message) gives up what was still on the
# way, which the report lists apart as "abandoned at the monitor's own reconnects".
#
# Exit status: 0 when the monitor survived, lost nothing and its memory stayed flat; 1 otherwise;
# 2 when the run itself could not be set up.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-10}
rate=${SOAK_RATE:-3000}
every=${SOAK_FAULT_EVERY:-15}
seed=${SOAK_SEED:-1}
growth_limit_kb=${SOAK_RSS_GROWTH_KB:-16384}
build=${CORVANE_BUILD_DIR:-$top/build}

if ! [[ "$minutes" =~ ^[0-9]+$ ]] || [ "$minutes" -lt 1 ]; then
    echo "usage: $0 [minutes]   (a whole number, at least 1)" >&2
    exit 2
fi
"$top/scripts/setup.sh" --window-tools
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3) || { echo "soak: python3 is needed" >&2; exit 2; }

# Builds only what the run needs.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target corvane-monitor corvane-engine-sim -j2 >/dev/null
monitor_bin=$build/src/corvane-monitor
engine_bin=$build/tools/engine-sim/corvane-engine-sim

work=$(mktemp -d /tmp/corvane-soak.XXXXXX)
xvfb_pid="" engine_pid="" monitor_pid=""
cleanup() {
    set +e
    [ -n "$monitor_pid" ] && kill "$monitor_pid" 2>/dev/null
    [ -n "$engine_pid" ] && kill "$engine_pid" 2>/dev/null
    exec 3>&- 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    if [ "${SOAK_KEEP:-0}" = 1 ]; then echo "soak: working folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
die() { echo "soak: $*" >&2; exit 2; }
say() { echo "soak: [$(date -u +%H:%M:%S)] $*"; }

# A private X server on the first free display from :90 on.
display=""
for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || die "no free X display"
Xvfb ":$display" -screen 0 1600x1200x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || die "Xvfb did not start"
export DISPLAY=":$display"

# The engine reads its control lines from a pipe that stays open for the whole run.
mkfifo "$work/engine.in"
exec 3<>"$work/engine.in"
"$engine_bin" --udp-port 0 --tcp-port 0 --spans 8 --groups 6 --traffic-rate 0 --alarm-rate 0 \
    --heartbeat-ms 1000 --clock-ms 1000 --seed "$seed" --mark-connections --fault-every "$every" \
    --exit-on-stdin-eof <"$work/engine.in" >"$work/engine.out" 2>"$work/engine.err" &
engine_pid=$!
for _ in $(seq 100); do grep -q '^listening ' "$work/engine.out" 2>/dev/null && break; sleep 0.1; done
tcp_port=$(sed -n 's/^listening udp=[0-9]* tcp=\([0-9]*\)$/\1/p' "$work/engine.out")
[ -n "$tcp_port" ] || die "the engine did not start: $(cat "$work/engine.err")"

control() { # sends one control line and waits for its "# done"
    local before
    before=$(grep -c "^# done $1\$" "$work/engine.out" || true)
    echo "$1" >&3
    for _ in $(seq 100); do
        [ "$(grep -c "^# done $1\$" "$work/engine.out" || true)" -gt "$before" ] && return 0
        sleep 0.1
    done
    die "the engine did not take \"$1\""
}
# No faults until the monitor records.
control "faults off"
engine_connections() { grep -c '^# tcp connect ' "$work/engine.out" || true; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$monitor_pid/status" 2>/dev/null || echo 0; }
alive() { kill -0 "$monitor_pid" 2>/dev/null; }

log=$work/monitor.log
{
    printf 'TCP, 1\r\n'
    printf 'ENG_LOC_IP, "127.0.0.1"\r\n'
    printf 'ENG_LOC_PORT, %s\r\n' "$tcp_port"
    printf 'MON_PORT, 0\r\n'
    printf 'TITLE, "Soak"\r\n'
    printf 'LOG_FILE, "%s"\r\n' "$log"
    # A short heartbeat time-out: the relay watchdog then pings every second and reconnects 3.3 s
    # after an unanswered ping, so every fault is met within seconds.
    printf 'WATCHDOG_TO, 10\r\n'
    printf 'MAX_ALARMS, 200\r\n'
} >"$work/monitor.ini"

QT_QPA_PLATFORM=xcb "$monitor_bin" "$work/monitor.ini" >"$work/monitor.out" 2>&1 &
monitor_pid=$!
for _ in $(seq 300); do grep -q ' UUUUU$' "$work/engine.out" && break; alive || break; sleep 0.1; done
alive || die "the monitor ended at start-up: $(cat "$work/monitor.out")"
grep -q ' UUUUU$' "$work/engine.out" || die "the monitor did not ask for the board"
say "engine on tcp port $tcp_port, monitor pid $monitor_pid on display :$display, work folder $work"

# Options > Record Log File, and Yes to "This will erase ... Proceed?".
recording=no
for attempt in 1 2 3 4 5; do
    window=$(xdotool search --onlyvisible --name '^Soak' 2>/dev/null | head -n 1 || true)
    if [ -n "$window" ]; then
        xdotool windowfocus --sync "$window" 2>/dev/null || true
        xdotool key --clearmodifiers alt+o 2>/dev/null || true
        sleep 0.5
        xdotool key r 2>/dev/null || true
        sleep 1
        xdotool key Return 2>/dev/null || true
        sleep 2
        if [ -s "$log" ]; then recording=yes; break; fi
        xdotool key Escape Escape 2>/dev/null || true
    fi
    sleep 2
done
[ "$recording" = yes ] || die "could not switch the monitor's recording on (attempt $attempt)"
say "the monitor records to its log file"

# From the next connection on, everything is counted.
control "close"
for _ in $(seq 300); do grep -aq '"#connection ' "$log" && break; sleep 0.1; done
grep -aq '"#connection ' "$log" || die "the monitor did not come back after the first close"

control "traffic $rate"
control "alarms 2"
control "faults on"
warmup=$((minutes * 60 / 10))
[ "$warmup" -gt 60 ] && warmup=60
say "traffic $rate msg/s, a random fault every ${every} s on average, seed $seed; warm-up ${warmup} s"
sleep "$warmup"
alive || { say "CRASH during the warm-up"; }
rss_start=$(rss_kb)
say "monitor VmRSS after the warm-up: ${rss_start} kB"

end=$((SECONDS + minutes * 60 - warmup))
samples="$rss_start"
while [ "$SECONDS" -lt "$end" ] && alive; do
    left=$((end - SECONDS))
    sleep $((left < 30 ? left : 30))
    alive || break
    samples="$samples $(rss_kb)"
    say "VmRSS $(rss_kb) kB, faults so far $(grep -c '^# fault ' "$work/engine.out" || true), connections $(engine_connections)"
done

crashed=no
exit_note=""
if ! alive; then
    crashed=yes
    set +e
    wait "$monitor_pid"
    status=$?
    set -e
    monitor_pid=""
    exit_note="exit status $status$([ "$status" -gt 128 ] && echo " (signal $((status - 128)))")"
fi

rss_end=0
if [ "$crashed" = no ]; then
    # Quiet down, let the monitor come back if a fault had just taken it away, then close the last
    # connection from the engine's side so its count is final and all of it reaches the monitor.
    control "faults off"
    control "traffic 0"
    control "alarms 0"
    control "heartbeat off"
    control "clock off"
    sleep 11
    for _ in $(seq 300); do
        before=$(grep -c '^# tcp sent .* closed-by=open$' "$work/engine.out" || true)
        echo "counts" >&3
        sleep 0.2
        [ "$(grep -c '^# tcp sent .* closed-by=open$' "$work/engine.out" || true)" -gt "$before" ] && break
    done
    rss_end=$(rss_kb)
    # Closes the connection and lets no new one in, so the monitor's log comes to rest.
    control "listen off"
    # The monitor has processed everything once its log stops growing.
    last=-1
    while :; do
        size=$(stat -c %s "$log")
        [ "$size" = "$last" ] && break
        last=$size
        sleep 3
    done
    alive || { crashed=yes; exit_note="ended during the final drain"; }
fi

"$python" - "$work/engine.out" "$log" "$crashed" "$exit_note" "$rss_start" "$rss_end" "$growth_limit_kb" \
    "$minutes" "$rate" "$samples" <<'EOF'
import re, sys
engine_out, log, crashed, exit_note, rss_start, rss_end, limit, minutes, rate, samples = sys.argv[1:]
rss_start, rss_end, limit = int(rss_start), int(rss_end), int(limit)

sent = {}  # connection -> (well-formed, garbage, oversized, closed by)
faults = {}
with open(engine_out, 'rb') as f:
    for line in f:
        line = line.decode('latin-1').rstrip('\n')
        m = re.match(r'# tcp sent \S+ connection=(\d+) messages=(\d+) garbage=(\d+) oversized=(\d+) closed-by=(\w+)$', line)
        if m and m.group(5) != 'open':
            sent[int(m.group(1))] = (int(m.group(2)), int(m.group(3)), int(m.group(4)), m.group(5))
        m = re.match(r'# fault (\w+)', line)
        if m:
            faults[m.group(1)] = faults.get(m.group(1), 0) + 1

received = {}  # connection -> records between its marker and the next
current = None
records = 0
marker = re.compile(rb'#connection (\d+)"\r?$')
with open(log, 'rb') as f:
    for line in f:
        records += 1
        m = marker.search(line.rstrip(b'\n'))
        if m:
            current = int(m.group(1))
            received[current] = 0
        elif current is not None:
            received[current] += 1

lost = extra = abandoned = counted = wellformed = 0
closers = {'engine': 0, 'monitor': 0}
problems = []
for k in sorted(sent):
    if k not in received and k < min(received or [0]):
        continue  # before the recording began
    n, g, o, by = sent[k]
    got = received.get(k, 0)
    expected = n + g
    counted += 1
    closers[by] = closers.get(by, 0) + 1
    wellformed += n
    if got > expected:
        extra += got - expected
        problems.append(f'connection {k}: {got} recorded, {expected} sent')
    elif by == 'engine' and got < expected:
        lost += expected - got
        problems.append(f'connection {k}: {expected - got} of {expected} lost')
    elif by == 'monitor':
        abandoned += expected - got

rss = [int(s) for s in samples.split()]
growth = rss_end - rss_start if rss_end else 0
print()
print(f'Soak report: {minutes} min at {rate} msg/s')
print(f'  crashes:            {"1 (" + exit_note + ")" if crashed == "yes" else "none"}')
print(f'  faults:             ' + ', '.join(f'{v} {k}' for k, v in sorted(faults.items())))
print(f'  TCP connections:    {counted} counted: {closers["engine"]} closed by the engine, '
      f'{closers["monitor"]} by the monitor')
print(f'  messages:           {wellformed} well-formed sent on counted connections, {records} records in the monitor log')
print(f'  lost over TCP:      {lost}' + (f'; more recorded than sent: {extra}' if extra else ''))
print(f'  abandoned at the monitor\'s own reconnects: {abandoned}')
print(f'  monitor VmRSS:      {rss_start} kB after the warm-up, {rss_end} kB at the end ({growth:+d} kB, limit {limit} kB)')
print(f'  VmRSS samples (kB): {" ".join(map(str, rss))}')
for p in problems[:10]:
    print('  ' + p)
ok = crashed != 'yes' and lost == 0 and extra == 0 and counted > 0 and growth <= limit
print('  result:             ' + ('PASS' if ok else 'FAIL'))
sys.exit(0 if ok else 1)
EOF
