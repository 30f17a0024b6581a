# Helpers for the scripts that run the program in a real X window inside a
# network namespace of their own (tests/netns-run.sh): the start-up test, the
# start-up benchmark, the screenshots and the installed tree's check. Sourced by bash scripts after WORK names their scratch
# directory. Processes started by the caller go into PIDS as well, so that
# desktop_cleanup, set as the EXIT trap, stops them all. Each desktop_ function
# prints why it failed on stderr and returns non-zero.

# shellcheck source=../netns/netns-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../netns/netns-lib.sh"

PIDS=()

desktop_cleanup() {
    stop_processes "${PIDS[@]}"
    rm -rf "$WORK"
}

# until_ok SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds.
until_ok() {
    local tries=$(($1 * 20)) i
    shift
    for ((i = 0; i < tries; i++)); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# desktop_network ADDRESS/PREFIX: a network with a broadcast address for
# discovery, a veth pair, made only in a namespace that holds nothing but
# loopback.
desktop_network() {
    if [ "$(ip -o link show | grep -vc ': lo:')" -ne 0 ]; then
        echo "other interfaces than loopback here: run it through tests/netns-run.sh" >&2
        return 1
    fi
    if ! { ip link add tavik-a type veth peer name tavik-b &&
        ip addr add "$1" dev tavik-a &&
        ip link set tavik-a up && ip link set tavik-b up; }; then
        echo "cannot make the veth pair" >&2
        return 1
    fi
    until_ok 5 desktop_link_running || { echo "tavik-a never came up" >&2; return 1; }
}

desktop_link_running() {
    ip -o link show dev tavik-a | grep -q 'state UP'
}

# desktop_home: private settings, so that no stored address applies.
desktop_home() {
    export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_RUNTIME_DIR="$WORK/runtime"
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
}

# desktop_display: Xvfb with the openbox window manager; exports DISPLAY.
desktop_display() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
    PIDS+=($!)
    until_ok 10 test -s "$WORK/display" || { echo "Xvfb did not start: $(cat "$WORK/xvfb.log")" >&2; return 1; }
    export DISPLAY=":$(cat "$WORK/display")"
    openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
    PIDS+=($!)
    until_ok 10 wmctrl -m >/dev/null 2>&1 ||
        { echo "openbox did not start: $(cat "$WORK/openbox.log")" >&2; return 1; }
}

# desktop_simulator SIMULATOR: the simulator with commands on 127.0.0.1,
# answering discovery on the veth pair.
desktop_simulator() {
    "$1" --listen 127.0.0.1 >"$WORK/simulator.log" 2>&1 &
    PIDS+=($!)
    until_ok 10 grep -q '^discovery listening' "$WORK/simulator.log" ||
        { echo "simulator not ready: $(cat "$WORK/simulator.log")" >&2; return 1; }
}
