#!/bin/bash
# Start-up of the real program in a real X window, driven the way an operator
# drives it: Xvfb with the openbox window manager, keys sent with xdotool,
# windows closed through the window manager, text read back with copy and paste.
#
# The namespace holds the simulator (commands on 127.0.0.1) and one veth pair,
# so that discovery has a network to broadcast on and lists the simulator.
#
#   cancel (Escape) and closing the dialog: status 0, no command connection
#   "Manual..." with a host name: the error box, status 1, no command connection
#   "Manual..." with the offered 127.000.000.001: the main window, its title
#   naming the unit, with the simulator's parameters in the boxes; closing it:
#   status 0
#   the same under a limit of 0 bytes on the files it may write (ulimit -f):
#   writes fail, as on a full disk, and the program goes on; closing: status 0
#   a stored window size larger than the screen: the window, its frame and
#   title bar included, opens within the screen
#   standard output and error closed by the caller: the display's connection
#   and the unit's are not taken for them (the log goes nowhere), the main
#   window shows the parameters; closing it: status 0
#
# Usage: startup-test.sh PROGRAM SIMULATOR ARTIFACT_DIR
# Run it inside a network namespace of its own (tests/netns-run.sh).
set -u
PROGRAM="$1"
SIMULATOR="$2"
ARTIFACTS="$3"

WORK=$(mktemp -d)
FAILURES=0
# shellcheck source=desktop-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/desktop-lib.sh"
trap desktop_cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $CASE: $*"
    FAILURES=$((FAILURES + 1))
}

abort() {
    echo "FAIL: $CASE: $*"
    [ -f "$WORK/program.log" ] && sed 's/^/  program: /' "$WORK/program.log"
    exit 1
}

CASE="set-up"
missing=""
for tool in Xvfb openbox wmctrl xdotool xclip import xprop ip; do
    command -v "$tool" >/dev/null || missing="$missing $tool"
done
[ -z "$missing" ] || abort "missing tools:$missing (Debian: xvfb openbox wmctrl xdotool xclip imagemagick x11-utils iproute2)"
mkdir -p "$ARTIFACTS" || abort "cannot make $ARTIFACTS"
rm -f "$ARTIFACTS"/*.png

desktop_network 10.211.90.1/24 || abort "no network for discovery"
desktop_home || abort "cannot make private settings"
desktop_display || abort "no X display"
desktop_simulator "$SIMULATOR" || abort "no simulator"

# --- helpers over one run of the program ----------------------------------

# start_program: starts the program; its log (debug lines) goes to program.log.
start_program() {
    SIM_FROM=$(($(wc -l <"$WORK/simulator.log") + 1))
    # The program never deletes its main window (it lives until the process
    # ends), so a leak check at exit would report it: leaks are not checked.
    QT_QPA_PLATFORM=xcb ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        "$PROGRAM" >"$WORK/program.log" 2>&1 &
    PROGRAM_PID=$!
    PIDS+=("$PROGRAM_PID")
}

# start_program_with_file_limit: as start_program, but no file the program
# writes may grow (ulimit -f 0); its log goes through a named pipe, which the
# limit does not cover.
start_program_with_file_limit() {
    SIM_FROM=$(($(wc -l <"$WORK/simulator.log") + 1))
    rm -f "$WORK/log.pipe"
    mkfifo "$WORK/log.pipe"
    cat "$WORK/log.pipe" >"$WORK/program.log" &
    PIDS+=($!)
    QT_QPA_PLATFORM=xcb ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        bash -c 'ulimit -f 0 && exec "$0"' "$PROGRAM" >"$WORK/log.pipe" 2>&1 &
    PROGRAM_PID=$!
    PIDS+=("$PROGRAM_PID")
}

# start_program_without_streams: as start_program, with standard output and
# standard error closed.
start_program_without_streams() {
    SIM_FROM=$(($(wc -l <"$WORK/simulator.log") + 1))
    QT_QPA_PLATFORM=xcb ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        "$PROGRAM" >&- 2>&- &
    PROGRAM_PID=$!
    PIDS+=("$PROGRAM_PID")
}

# Simulator lines since the program started.
simulator_lines() {
    tail -n +"$SIM_FROM" "$WORK/simulator.log"
}

got_params() {
    simulator_lines | grep -qF 'recv "PARAMS?\r\n"'
}

visible_window() {
    kill -0 "$PROGRAM_PID" 2>/dev/null || return 2
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 | grep .
}

# wait_window TITLE_REGEX: prints the id of the visible window, or aborts.
wait_window() {
    local i id status
    for ((i = 0; i < 300; i++)); do
        id=$(visible_window "$1")
        status=$?
        [ $status -eq 0 ] && { echo "$id"; return 0; }
        [ $status -eq 2 ] && abort "the program ended while waiting for window \"$1\""
        sleep 0.05
    done
    abort "no window \"$1\" within 15 s"
}

# focus WINDOW: makes WINDOW the active window, so that keys go to it.
focus() {
    timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 ||
        abort "cannot activate window $1"
}

keys() {
    xdotool key --delay 30 "$@"
}

# wait_exit: waits up to 15 s for the program to end, sets $STATUS.
wait_exit() {
    local i
    for ((i = 0; i < 300; i++)); do
        if ! kill -0 "$PROGRAM_PID" 2>/dev/null; then
            wait "$PROGRAM_PID"
            STATUS=$?
            return 0
        fi
        sleep 0.05
    done
    kill "$PROGRAM_PID"
    wait "$PROGRAM_PID"
    abort "the program did not end within 15 s"
}

# wait_discovery_runs N: waits until N discovery runs have listed their units.
# The dialog is enabled again right after that line, ready for keys.
wait_discovery_runs() {
    local i
    for ((i = 0; i < 300; i++)); do
        [ "$(grep -A1 '^waiting for answers$' "$WORK/program.log" | grep -c "^$(unit_list_prefix)(")" -ge "$1" ] && return 0
        kill -0 "$PROGRAM_PID" 2>/dev/null || abort "the program ended during discovery"
        sleep 0.05
    done
    abort "discovery run $1 did not end within 15 s"
}

# screenshot WINDOW FILE: once the window has been painted.
screenshot() {
    local i
    for ((i = 0; i < 60; i++)); do
        import -window "$1" "$2" 2>/dev/null &&
            [ "$(identify -format '%k' "$2" 2>/dev/null)" -gt 8 ] && return 0
        sleep 0.05
    done
    fail "no painted screenshot of window $1 for $2"
}

# clipboard: the text on the clipboard, or nothing after 1 s.
CLIPBOARD_MARK="--nothing copied--"
# xclip stays behind to serve the text until another owner takes the clipboard
# (or the X server ends); it must not hold this script's output open.
clear_clipboard() {
    printf '%s' "$CLIPBOARD_MARK" | xclip -selection clipboard -i >/dev/null 2>&1
}
read_clipboard() {
    local i text
    for ((i = 0; i < 20; i++)); do
        text=$(timeout 2 xclip -selection clipboard -o 2>/dev/null)
        [ -n "$text" ] && [ "$text" != "$CLIPBOARD_MARK" ] && { printf '%s' "$text"; return 0; }
        sleep 0.05
    done
    return 1
}

# copy_focused_text: what Select All and Copy give in the focused widget.
copy_focused_text() {
    clear_clipboard
    keys ctrl+a ctrl+c
    read_clipboard
}

DIALOG='^Conecting\.\.\.$'
INPUT='^TcpIp Addresss\.\.\.$'
MAIN='^Tavik Counter App'

expect_no_command_connection() {
    simulator_lines | grep -E '^(connected|recv) ' && fail "the simulator got a command connection"
}

expect_status() {
    echo "$CASE: exit status $STATUS"
    [ "$STATUS" -eq "$1" ] || fail "exit status $STATUS, expected $1"
}

# manual_entry DIALOG_WINDOW: chooses "Manual..." and waits for the input box.
manual_entry() {
    focus "$1"
    # End goes to the last item, "Manual...", and activates it.
    keys End
    INPUT_WINDOW=$(wait_window "$INPUT")
    focus "$INPUT_WINDOW"
    OFFERED=$(copy_focused_text)
    [ "$OFFERED" = "127.000.000.001" ] || fail "offered address \"$OFFERED\", expected the stored default"
}

# --- the cases ------------------------------------------------------------

CASE="cancel"
start_program
window=$(wait_window "$DIALOG")
wait_discovery_runs 1
screenshot "$window" "$ARTIFACTS/dialog.png"
grep -A1 '^waiting for answers$' "$WORK/program.log" | grep -qxF "$(unit_list_line 127.0.0.1)" ||
    fail "the simulator was not listed: $(cat "$WORK/program.log")"
focus "$window"
keys Escape
wait_exit
expect_status 0
expect_no_command_connection

CASE="closing the dialog"
start_program
window=$(wait_window "$DIALOG")
wmctrl -i -c "$window"
wait_exit
expect_status 0
expect_no_command_connection

CASE="host name"
start_program
window=$(wait_window "$DIALOG")
wait_discovery_runs 1
manual_entry "$window"
keys ctrl+a
xdotool type --delay 20 "localhost"
keys Return
wait_discovery_runs 2
focus "$window"
keys Return
error=$(wait_window '^Error$')
screenshot "$error" "$ARTIFACTS/error-box.png"
visible_window "$MAIN" >/dev/null && fail "the main window was shown"
focus "$error"
keys Return
wait_exit
expect_status 1
expect_no_command_connection

CASE="offered address"
start_program
window=$(wait_window "$DIALOG")
wait_discovery_runs 1
manual_entry "$window"
keys Return
wait_discovery_runs 2
focus "$window"
keys Return
main=$(wait_window "$MAIN")
screenshot "$main" "$ARTIFACTS/main-window.png"
title=$(xprop -id "$main" _NET_WM_NAME)
[ "$title" = '_NET_WM_NAME(UTF8_STRING) = "Tavik Counter App — 127.0.0.1"' ] ||
    fail "the main window's title is not the program's and the unit's: $title"
simulator_lines | grep -q '^recv "PARAMS?\\r\\n"' ||
    fail "the simulator did not get PARAMS?: $(simulator_lines)"
grep -q '^Update params$' "$WORK/program.log" || fail "parameters were not read"
grep -E '^(Invalid JSON\.\.|Document is not an object|Something wrong)' "$WORK/program.log" &&
    fail "the reply was not usable"
# The boxes of the General page, read by tabbing through the window and
# copying each widget's text: the simulator's levels, not the layout's 100 mV.
focus "$main"
copied=""
for ((i = 0; i < 8; i++)); do
    keys Tab
    copied="$copied $(copy_focused_text || echo -)"
done
echo "$copied " | grep -q ' 0\.10 50 150 300 500 ' ||
    fail "the boxes do not show the simulator's parameters (0.10 s, 50 150 300 500 mV): copied$copied"
echo "$CASE: copied from the main window:$copied"
wmctrl -i -c "$main"
wait_exit
expect_status 0
# The window keeps the operator's choices in the settings on closing, but never
# the address.
settings="$XDG_CONFIG_HOME/Morvida/Kestrava_Calibration.conf"
[ -f "$settings" ] || fail "closing the window kept no choices in $settings"
grep -q 'TcpIpAddress' "$settings" 2>/dev/null && fail "the stored address was written: $(cat "$settings")"

CASE="file size limit"
start_program_with_file_limit
window=$(wait_window "$DIALOG")
wait_discovery_runs 1
manual_entry "$window"
keys Return
wait_discovery_runs 2
focus "$window"
keys Return
main=$(wait_window "$MAIN")
wmctrl -i -c "$main"
wait_exit
expect_status 0

CASE="standard streams closed"
start_program_without_streams
window=$(wait_window "$DIALOG")
sleep 0.7
manual_entry "$window"
keys Return
sleep 0.7
focus "$window"
keys Return
main=$(wait_window "$MAIN")
until_ok 5 got_params || fail "the simulator did not get PARAMS?: $(simulator_lines)"
sleep 0.5
simulator_lines | grep '^recv ' | grep -vF 'recv "PARAMS?\r\n"' && fail "the simulator got more than PARAMS?"
wmctrl -i -c "$main"
wait_exit
expect_status 0

CASE="stored size larger than the screen"
printf '[Window]\nSize=@Size(3000 3000)\n' >"$XDG_CONFIG_HOME/Morvida/Kestrava_Calibration.conf"
start_program
window=$(wait_window "$DIALOG")
wait_discovery_runs 1
manual_entry "$window"
keys Return
wait_discovery_runs 2
focus "$window"
keys Return
main=$(wait_window "$MAIN")
sleep 0.5
screenshot "$main" "$ARTIFACTS/main-window-stored-too-large.png"
# The window manager's frame around the window: what the operator sees of it.
outer=$main
while :; do
    parent=$(xwininfo -tree -id "$outer" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    [ "$parent" != "$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')" ] || break
    outer=$parent
done
read -r x y w h < <(xwininfo -id "$outer" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
    /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x, y, w, h }')
read -r screen_w screen_h < <(xwininfo -root | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
echo "$CASE: frame ${w}x${h}+${x}+${y} on a ${screen_w}x${screen_h} screen"
[ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$screen_w" ] && [ $((y + h)) -le "$screen_h" ] ||
    fail "the window reaches beyond the screen (its status line with it): frame ${w}x${h}+${x}+${y} on ${screen_w}x${screen_h}"
wmctrl -i -c "$main"
wait_exit
expect_status 0

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s); program log of the last run:"
    sed 's/^/  /' "$WORK/program.log"
    exit 1
fi
echo "start-up passed; screenshots in $ARTIFACTS"
