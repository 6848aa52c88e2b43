#!/usr/bin/env bash
# Takes the operator's guide's screenshots from the real program: a private Xvfb, the simulated engine
# and the monitor built from this checkout. The board fills from the engine, then the statistics, call
# detail and chat windows are opened the way an operator opens them, with keys and clicks on the real
# windows, and each window is saved as a PNG in docs/images/.
#
#   scripts/screenshots.sh            # build/ and docs/images/
#   scripts/screenshots.sh --no-build # the programs as they are built already
#   CORVANE_BUILD_DIR=/path/to/build CORVANE_SCREENSHOT_OUT=/tmp/shots scripts/screenshots.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BUILD_DIR:-$top/build}
out=${CORVANE_SCREENSHOT_OUT:-$top/docs/images}

if [ "${1:-}" != "--no-build" ]; then
    "$top/scripts/setup.sh" --window-tools
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
    cmake --build "$build" -j"$(nproc)" --target corvane-monitor corvane-engine-sim
fi

monitor="$build/src/corvane-monitor"
engine="$build/tools/engine-sim/corvane-engine-sim"
mkdir -p "$out"
work=$(mktemp -d)
xvfb_pid="" engine_pid="" monitor_pid=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    for pid in "$monitor_pid" "$engine_pid" "$xvfb_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

say() { printf 'screenshots: %s\n' "$*" >&2; }
fail() {
    say "$*"
    [ -f "$work/engine.out" ] && tail -n 20 "$work/engine.out" >&2
    [ -f "$work/monitor.err" ] && tail -n 20 "$work/monitor.err" >&2
    [ -n "${CORVANE_SCREENSHOT_KEEP:-}" ] && cp -r "$work" "$CORVANE_SCREENSHOT_KEEP"
    exit 1
}

# Waits up to $2 seconds for a line matching the pattern $1 in what the engine printed.
wait_for_engine() {
    local pattern=$1 seconds=$2 i
    for i in $(seq $((seconds * 10))); do
        grep -Eq "$pattern" "$work/engine.out" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "the engine never printed a line matching '$pattern'"
}

# Waits up to $2 seconds for a visible window whose title matches $1; prints its id.
wait_for_window() {
    local pattern=$1 seconds=$2 i id
    for i in $(seq $((seconds * 10))); do
        id=$(xdotool search --all --onlyvisible --pid "$monitor_pid" --name "$pattern" 2>/dev/null |
            head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    fail "no window titled '$pattern' appeared"
}

# Saves window $1 as $out/$2. The window is mapped and idle by then; a short pause lets it finish
# painting what the last event changed.
shoot() {
    sleep 1
    import -window "$1" "$out/$2"
    # A window caught before it painted is a plain rectangle of one or two colours.
    local colours
    colours=$(identify -format '%k' "$out/$2")
    [ "$colours" -ge 8 ] || fail "$out/$2 has $colours colours: the window had not painted"
    say "saved $out/$2 ($(identify -format '%wx%h' "$out/$2"), $colours colours)"
}

# A private X server with no window manager: windows appear without frames, keyboard focus follows
# the pointer.
for n in $(seq 140 180); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1600x1000x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    break
done
[ -n "$xvfb_pid" ] || fail "no free X display number"
export QT_QPA_PLATFORM=xcb

# The engine: six spans of 24 channels in six groups, some traffic and alarms. Its standard input
# stays open on a pipe so that it can be steered while the pictures are taken.
mkfifo "$work/engine.in"
"$engine" --udp-port 0 --tcp-port 0 --spans 6 --channels-per-span 24 --groups 6 \
    --traffic-rate 3 --alarm-rate 0.4 --seed 11 --name PLANT-NORTH \
    <"$work/engine.in" >"$work/engine.out" 2>"$work/engine.err" &
engine_pid=$!
exec 3>"$work/engine.in"
wait_for_engine '^listening ' 10
tcp_port=$(sed -n 's/^listening udp=[0-9]* tcp=\([0-9]*\)$/\1/p' "$work/engine.out")
[ -n "$tcp_port" ] || fail "could not read the engine's TCP port"

cat >"$work/monitor.ini" <<EOF
TCP, 1
ENG_LOC_PORT, $tcp_port
MON_PORT, 0
ENG_LOC_IP, "127.0.0.1"
TITLE, "Plant North"
WD_PROGRESS, 1
CHK_UDP, "UDPRelay"
LOG_FILE, "$work/Monitor.Log"
SET_FONT, "N0B1S9"
GROUP_COLOR, 3
EOF
sed -i 's/$/\r/' "$work/monitor.ini"

started=$(date +%s)
"$monitor" "$work/monitor.ini" >"$work/monitor.out" 2>"$work/monitor.err" &
monitor_pid=$!
main=$(wait_for_window '^Plant North' 20)

# The board is complete once it has stopped growing for one 5-second tick: the monitor then sends its
# first ping. Refresh Info (View menu) asks for the group names that label the span rows.
wait_for_engine ' W$' 40
xdotool mousemove --window "$main" 200 10
xdotool key --clearmodifiers alt+v i
wait_for_engine ' UUUUU$' 20
sleep 3

# The operator widens the window so that the span labels right of the rows show whole, marks three
# channels of span 2 with clicks and rests the pointer on a channel of span 1, so that the call
# information line shows its call. Cell centres, in pixels from the window's corner at 96 dpi: the
# first cell of span 1 at (118, 124), 17 px from cell to cell with a gap after every six, 34 px from
# span to span.
xdotool windowsize "$main" 800 "$(xdotool getwindowgeometry --shell "$main" | sed -n 's/^HEIGHT=//p')"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$main")"
cell() { # span position -> "x y" on the screen
    local k=$(($2 - 1))
    echo $((X + 118 + 17 * (k + k / 6))) $((Y + 124 + 34 * ($1 - 1)))
}
for p in 3 4 5; do
    xdotool mousemove $(cell 2 "$p") click 1
    sleep 0.3
done
xdotool mousemove $(cell 1 2)
sleep 0.5
# On to a button, which keeps the highlight and the call information but not the cell's tool tip.
xdotool mousemove $((X + 232)) $((Y + 92))
shoot "$main" main-window.png

# The alarm list on its own tab, then back to the board.
xdotool mousemove $((X + 130)) $((Y + 64)) click 1
shoot "$main" alarms.png
xdotool mousemove $((X + 50)) $((Y + 64)) click 1

# The statistics rows carry figures from the first minute tick on.
for _ in $(seq 120); do
    [ $(($(date +%s) - started)) -ge 63 ] && break
    sleep 0.5
done
xdotool mousemove --window "$main" 200 10
xdotool key --clearmodifiers alt+v Down Down Down Down Return
stats=$(wait_for_window '^Stats ' 10)
shoot "$stats" statistics.png

xdotool mousemove --window "$main" 200 10
xdotool key --clearmodifiers alt+v c
detail=$(wait_for_window '^Call Detail ' 10)
shoot "$detail" call-detail.png

# The chat: the line typed here goes to the engine, which broadcasts it back to every monitor.
xdotool mousemove --window "$main" 200 10
xdotool key --clearmodifiers alt+v m
chat=$(wait_for_window '^Chat ' 10)
echo "send @Night shift: span 3 back in service at 06:10" >&3
wait_for_engine '^# done send @Night' 10
# Without a window manager the operator's click into the line being typed is what gives the window
# the keyboard.
eval "$(xdotool getwindowgeometry --shell "$chat")"
xdotool mousemove $((X + WIDTH / 3)) $((Y + HEIGHT - 20)) click 1
sleep 0.5
xdotool type --delay 30 "Trunk 305 looped for tests until 07:00"
xdotool key Return
wait_for_engine ' @Trunk 305 looped' 10
shoot "$chat" chat.png
