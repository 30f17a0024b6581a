#!/bin/bash
# The program's own options, --help and --version, are answered before any
# window or socket exists, and every other argument still reaches Qt:
#
#   --help, -h, --version, -v without a display: printed, status 0, nothing
#   on standard error, no discovery request
#   --help with a display (Xvfb): printed, status 0, no window, no request
#   -platform xcb -reverse under QT_QPA_PLATFORM=offscreen: the connection
#   dialog opens on the X display, so Qt took -platform, and -reverse (a word
#   holding a v) was not read as --version; Escape ends it with status 0
#
# The namespace holds the simulator answering discovery on a veth pair, so a
# broadcast would reach it and show in its log.
#
# Usage: options-test.sh PROGRAM SIMULATOR
# Run it inside a network namespace of its own (tests/netns-run.sh).
set -u
PROGRAM="$1"
SIMULATOR="$2"

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
    exit 1
}

CASE="set-up"
missing=""
for tool in Xvfb openbox wmctrl xdotool ip; do
    command -v "$tool" >/dev/null || missing="$missing $tool"
done
[ -z "$missing" ] || abort "missing tools:$missing (Debian: xvfb openbox wmctrl xdotool iproute2)"
desktop_network 10.211.91.1/24 || abort "no network for discovery"
desktop_home || abort "cannot make private settings"
desktop_simulator "$SIMULATOR" || abort "no simulator"

requests() {
    grep -c '^discovery request' "$WORK/simulator.log"
}

# run_option EXPECTED_OUTPUT_REGEX COMMAND...: runs the program through
# COMMAND and checks what an answered option gives.
run_option() {
    local expected="$1" status before
    shift
    before=$(requests)
    timeout 10 "$@" >"$WORK/out" 2>"$WORK/err"
    status=$?
    echo "$CASE: status $status, first line: $(head -n 1 "$WORK/out")"
    [ "$status" -eq 0 ] || fail "status $status, expected 0; standard error: $(cat "$WORK/err")"
    grep -qE "$expected" "$WORK/out" || fail "printed '$(cat "$WORK/out")', expected a line matching '$expected'"
    [ -s "$WORK/err" ] && fail "standard error: $(cat "$WORK/err")"
    # The answer to a request that went out would come within half a second.
    sleep 0.5
    [ "$(requests)" -eq "$before" ] || fail "a discovery request was sent: $(cat "$WORK/simulator.log")"
}

HELP='^Usage: .*tavik-counter \[options\]$'
VERSION='^tavik-counter [0-9][^ ]*$'
NO_DISPLAY=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

for option in --help -h; do
    CASE="$option without a display"
    run_option "$HELP" "${NO_DISPLAY[@]}" "$PROGRAM" "$option"
done
for option in --version -v; do
    CASE="$option without a display"
    run_option "$VERSION" "${NO_DISPLAY[@]}" "$PROGRAM" "$option"
done
CASE="--version after a Qt option"
run_option "$VERSION" "${NO_DISPLAY[@]}" "$PROGRAM" -platform offscreen --version

# An answer standard output refuses (a full disk) is no answer: the status
# says so, and standard error why, as the tool does for its rows.
for option in --help --version; do
    CASE="$option into a full disk"
    timeout 10 "${NO_DISPLAY[@]}" "$PROGRAM" "$option" >/dev/full 2>"$WORK/err"
    status=$?
    echo "$CASE: status $status, standard error: $(cat "$WORK/err")"
    [ "$status" -ne 0 ] || fail "status 0 though nothing was written"
    [ -s "$WORK/err" ] || fail "nothing on standard error"
done

# A file that may not grow (ulimit -f 0) refuses the answer as a full disk
# does: the same status and reason, not an end by SIGXFSZ with no word.
for option in --help --version; do
    CASE="$option into a file that may not grow"
    # Standard error goes through a pipe, which the limit leaves alone.
    {
        timeout 10 bash -c 'ulimit -f 0 && exec "$@"' bash "${NO_DISPLAY[@]}" "$PROGRAM" "$option" \
            2>&1 >"$WORK/answer"
        echo $? >"$WORK/status"
    } | cat >"$WORK/err"
    status=$(cat "$WORK/status")
    echo "$CASE: status $status, standard error: $(cat "$WORK/err")"
    [ "$status" -eq 1 ] || fail "status $status, not 1"
    grep -q "standard output not written" "$WORK/err" || fail "standard error does not say why"
done

CASE="set-up"
desktop_display || abort "no X display"

CASE="--help with a display"
run_option "$HELP" env QT_QPA_PLATFORM=xcb "$PROGRAM" --help
xdotool search --name '^Conecting\.\.\.$' >/dev/null 2>&1 && fail "the connection dialog opened"

program_ended() {
    ! kill -0 "$PROGRAM_PID" 2>/dev/null
}

CASE="Qt's options"
# The main window is built before the dialog and never deleted (it lives
# until the process ends), so a leak check at exit would report it.
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    "$PROGRAM" -platform xcb -reverse >"$WORK/program.log" 2>&1 &
PROGRAM_PID=$!
PIDS+=("$PROGRAM_PID")
if until_ok 15 xdotool search --onlyvisible --name '^Conecting\.\.\.$' >"$WORK/window" 2>/dev/null; then
    window=$(head -n 1 "$WORK/window")
    # Without this the checks for no request above would prove nothing.
    until_ok 5 test "$(requests)" -gt 0 || fail "the dialog's discovery request did not reach the simulator"
    timeout 5 xdotool windowactivate --sync "$window" >/dev/null 2>&1 && xdotool key Escape
    if until_ok 15 program_ended; then
        wait "$PROGRAM_PID"
        status=$?
        [ "$status" -eq 0 ] || fail "status $status after Escape, expected 0"
    else
        fail "Escape did not end the program"
    fi
else
    fail "no connection dialog on the X display: $(cat "$WORK/program.log")"
fi

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s)"
    exit 1
fi
echo "options passed"
