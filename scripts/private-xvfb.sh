# Sourced by the scripts that need an X server of their own. start_private_xvfb starts an Xvfb on a
# display number that the server picks itself (so two runs never meet), exports DISPLAY once the
# server takes connections, and stops it when the script exits.
start_private_xvfb() {
    local numbers
    numbers=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$numbers" >/dev/null 2>&1 &
    private_xvfb_pid=$!
    trap 'kill "$private_xvfb_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 200); do [ -s "$numbers" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$numbers")"
    rm -f "$numbers"
}
