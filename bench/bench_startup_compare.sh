#!/bin/bash
# Process start to the connection dialog shown on an X display (Xvfb with
# openbox), with a simulator answering discovery: two builds of the program
# side by side in one run, in turns, so that both meet the same machine.
# Prints the median, lowest and highest of each, and the new one's target.
#
# Usage: bench_startup_compare.sh BASE_PROGRAM NEW_PROGRAM SIMULATOR [RUNS]
# Run it inside a network namespace of its own (tests/netns-run.sh).
set -u
BASE="$1"
NEW="$2"
SIMULATOR="$3"
RUNS="${4:-5}"

WORK=$(mktemp -d)
# shellcheck source=../tests/startup/desktop-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/startup/desktop-lib.sh"
trap desktop_cleanup EXIT
trap 'exit 1' INT TERM

die() {
    echo "bench_startup_compare: $*" >&2
    exit 1
}

summary() {
    sort -n | awk -v name="$1" '
        { v[NR] = $1 }
        END {
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%-44s median %6.1f ms  (lowest %.1f, highest %.1f, %d runs)\n", name, m, v[1], v[NR], NR
        }'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

now_us() {
    echo "${EPOCHREALTIME/./}"
}

[ -x "$BASE" ] || die "no program to compare with: \"$BASE\" (cmake -DTAVIK_BASE_PROGRAM=PATH)"
for tool in Xvfb openbox wmctrl xdotool ip; do
    command -v "$tool" >/dev/null || die "missing tool $tool (Debian: xvfb openbox wmctrl xdotool iproute2)"
done
desktop_network 10.211.92.1/24 || die "no network for discovery"
desktop_home || die "cannot make private settings"
desktop_simulator "$SIMULATOR" || die "no simulator"
desktop_display || die "no X display"

mkfifo "$WORK/tick" && exec 9<>"$WORK/tick" || die "cannot make a fifo"
pause() {
    read -r -t 0.004 -u 9
}

# shown_after PROGRAM: milliseconds from its start to its dialog on the screen.
shown_after() {
    local start pid window=""
    start=$(now_us)
    QT_QPA_PLATFORM=xcb "$1" >"$WORK/program.log" 2>&1 &
    pid=$!
    PIDS+=($pid)
    while [ -z "$window" ]; do
        window=$(xdotool search --onlyvisible --name '^Conecting\.\.\.$' 2>/dev/null | head -n 1)
        kill -0 "$pid" 2>/dev/null || die "the program ended: $(cat "$WORK/program.log")"
        [ $(($(now_us) - start)) -lt 15000000 ] || die "no dialog within 15 s"
        [ -n "$window" ] || pause
    done
    awk -v us=$(($(now_us) - start)) 'BEGIN { print us / 1000 }'
    grep -q '^waiting for answers$' "$WORK/program.log" || die "the dialog showed before discovery ended"
    wmctrl -i -c "$window"
    until_ok 10 eval '! kill -0 $pid 2>/dev/null' || die "the program did not end"
    wait "$pid"
}

echo "Process start to the connection dialog shown, one simulator answering discovery, $RUNS runs each"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "base: $BASE"
echo "new:  $NEW"
# One run of each that is not counted: the files they read are in the cache
# for both alike.
shown_after "$BASE" >/dev/null
shown_after "$NEW" >/dev/null
for ((run = 0; run < RUNS; run++)); do
    shown_after "$BASE" >>"$WORK/base"
    shown_after "$NEW" >>"$WORK/new"
done
summary "base: process start to dialog shown" <"$WORK/base"
summary "new:  process start to dialog shown" <"$WORK/new"
awk -v b="$(median <"$WORK/base")" -v n="$(median <"$WORK/new")" 'BEGIN {
    printf "new - base: %+.1f ms; target: new at most 600 ms (500 of them discovery): %s\n", n - b, (n <= 600) ? "met" : "missed"
}'
