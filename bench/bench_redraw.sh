#!/bin/bash
# What a poll of the counts measurement costs in a real window: two builds of
# the program side by side in one run, the first the one to compare against,
# each in turn against the same simulator on an X display (Xvfb with openbox).
# For each window size and each program: the connection dialog from the
# keyboard, the time constant set to 0.01 s, Counts vs Time started, the 28 s
# window filled; then for MEASURE seconds the polls, the processor time of the
# program (and of the X server) per poll, and the time from each reply to the
# next change of the plot on the screen (bench/redraw_probe.py, which forwards
# the command port and watches the window's DAMAGE). Prints each figure and
# the new program's over the first's.
#
# Usage: bench_redraw.sh BASE_PROGRAM NEW_PROGRAM SIMULATOR [ROUNDS] [MEASURE_SECONDS] [SCREENSHOT_DIR]
# Run it inside a network namespace of its own (tests/netns-run.sh).
set -u
BASE="$1"
NEW="$2"
SIMULATOR="$3"
ROUNDS="${4:-2}"
MEASURE="${5:-10}"
SHOTS="${6:-}"
FILL_SECONDS=31
# Sizes of the window: the one it opens at, and a full-HD screen's.
SIZES=(default 1920x1080)

WORK=$(mktemp -d)
# shellcheck source=../tests/startup/desktop-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/startup/desktop-lib.sh"
trap desktop_cleanup EXIT
trap 'exit 1' INT TERM

die() {
    echo "bench_redraw: $*" >&2
    [ -f "$WORK/program.log" ] && sed 's/^/  program: /' "$WORK/program.log" >&2
    exit 1
}

[ -x "$BASE" ] || die "no program to compare with: \"$BASE\" (cmake -DTAVIK_BASE_PROGRAM=PATH)"
for tool in Xvfb openbox wmctrl xdotool python3 import; do
    command -v "$tool" >/dev/null || die "missing tool $tool (Debian: xvfb openbox wmctrl xdotool python3 imagemagick)"
done
[ "$(ip -o link show | grep -vc ': lo:')" -eq 0 ] || die "other interfaces than loopback here: run it through tests/netns-run.sh"

desktop_home || die "cannot make private settings"
# A screen with room for a 1920x1080 window and its frame.
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
XVFB_PID=$!
PIDS+=($XVFB_PID)
until_ok 10 test -s "$WORK/display" || die "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=":$(cat "$WORK/display")"
openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
PIDS+=($!)
until_ok 10 wmctrl -m >/dev/null 2>&1 || die "openbox did not start"

# The simulator on a port of its own; the probe forwards the program's port to it.
"$SIMULATOR" --listen 127.0.0.1 --port 9810 --no-discovery >"$WORK/simulator.log" 2>&1 </dev/null &
PIDS+=($!)
until_ok 10 grep -q '^listening' "$WORK/simulator.log" || die "the simulator did not start: $(cat "$WORK/simulator.log")"
mkfifo "$WORK/probe.in" || die "cannot make a fifo"
python3 "$(dirname "${BASH_SOURCE[0]}")/redraw_probe.py" 9800 9810 <"$WORK/probe.in" >"$WORK/probe.out" 2>&1 &
PIDS+=($!)
exec 7>"$WORK/probe.in"
until_ok 10 grep -q '^listening' "$WORK/probe.out" || die "the probe did not start: $(cat "$WORK/probe.out")"

window() {
    local tries found
    for ((tries = 0; tries < 100; tries++)); do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -n "$found" ] && { echo "$found"; return 0; }
        kill -0 "$PROGRAM_PID" 2>/dev/null || die "the program ended"
        sleep 0.1
    done
    die "no window \"$1\""
}

discovery_runs_at_least() {
    [ "$(grep -c '^waiting for answers$' "$WORK/program.log")" -ge "$1" ]
}

figures_after() {
    [ "$(grep -c '^measured' "$WORK/probe.out")" -gt "$1" ]
}

activate() {
    timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || die "cannot activate window $1"
}

# open_counts PROGRAM: the program connected through the probe, the time
# constant 0.01 s, Counts vs Time started; sets PROGRAM_PID and MAIN.
open_counts() {
    rm -rf "$XDG_CONFIG_HOME"
    QT_QPA_PLATFORM=xcb "$1" >"$WORK/program.log" 2>&1 </dev/null &
    PROGRAM_PID=$!
    PIDS+=($PROGRAM_PID)
    local dialog input
    dialog=$(window '^Conecting\.\.\.$')
    until_ok 5 grep -q '^waiting for answers$' "$WORK/program.log" || die "no discovery"
    sleep 0.3
    activate "$dialog"
    # End picks "Manual...", whose input box offers 127.000.000.001.
    xdotool key End
    input=$(window '^TcpIp Addresss\.\.\.$')
    activate "$input"
    xdotool key Return
    until_ok 5 discovery_runs_at_least 2 || die "no second discovery"
    sleep 0.3
    activate "$dialog"
    xdotool key Return
    MAIN=$(window '^Tavik Counter App')
    sleep 0.5
    activate "$MAIN"
    # The time constant is the first box of the General page.
    xdotool key Tab ctrl+a
    xdotool type --delay 20 "0.01"
    xdotool key Tab
    sleep 0.2
    # Counts vs Time in the page list, then its Start.
    xdotool mousemove --window "$MAIN" 70 61 click 1
    sleep 0.5
    xdotool mousemove --window "$MAIN" 1040 346 click 1
    sleep 0.5
    xdotool mousemove 1900 1190
}

close_program() {
    wmctrl -i -c "$MAIN"
    until_ok 10 eval '! kill -0 $PROGRAM_PID 2>/dev/null' || die "the program did not end"
    wait "$PROGRAM_PID"
}

# phase NAME PROGRAM SIZE: one program at one window size; appends its line
# of figures to $WORK/figures.
phase() {
    local name=$1 program=$2 size=$3 before line
    open_counts "$program"
    if [ "$size" != default ]; then
        xdotool windowmove "$MAIN" 0 0 windowsize "$MAIN" "${size%x*}" "${size#*x}"
    fi
    sleep "$FILL_SECONDS"
    before=$(grep -c '^measured' "$WORK/probe.out")
    echo "measure $PROGRAM_PID $XVFB_PID $MAIN $MEASURE" >&7
    # A profile of the same seconds, when asked for: BENCH_PERF_DIR=DIR.
    if [ -n "${BENCH_PERF_DIR:-}" ]; then
        mkdir -p "$BENCH_PERF_DIR"
        perf record -q ${BENCH_PERF_ARGS:--g} -F 499 -p "$PROGRAM_PID" -o "$BENCH_PERF_DIR/$name-$size.data" -- sleep "$MEASURE" \
            >/dev/null 2>&1 &
    fi
    until_ok $((MEASURE + 10)) figures_after "$before" ||
        die "no figures from the probe: $(cat "$WORK/probe.out")"
    line=$(grep '^measured' "$WORK/probe.out" | tail -n 1)
    # No poll at all is a run that never started (Start missed, say), not a
    # cheap one.
    echo "$line" | grep -q ' polls [1-9]' || die "$name at $size: no poll measured: $line"
    echo "$name $size $(xwininfo -id "$MAIN" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }') $line" \
        | tee -a "$WORK/figures"
    if [ -n "$SHOTS" ]; then
        mkdir -p "$SHOTS"
        import -window "$MAIN" "$SHOTS/$name-$size-a.png" &
        sleep 0.1
        import -window "$MAIN" "$SHOTS/$name-$size-b.png"
        wait $!
    fi
    close_program
}

echo "Counts at 0.01 s, the 28 s window full, $MEASURE s measured, $ROUNDS round(s)"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "base: $BASE"
echo "new:  $NEW"
for ((round = 0; round < ROUNDS; round++)); do
    for size in "${SIZES[@]}"; do
        phase base "$BASE" "$size"
        phase new "$NEW" "$size"
    done
done

# Medians over the rounds of each program and size, and new over base.
awk -v nominal="$(awk 'BEGIN { print 1000 / 12 }')" '
    function field(name,   i) { for (i = 1; i <= NF; i++) if ($i == name) return $(i + 1); return "" }
    function median(list, n,   sorted, i, j, t) {
        for (i = 1; i <= n; i++) sorted[i] = list[i]
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (sorted[j] < sorted[i]) { t = sorted[i]; sorted[i] = sorted[j]; sorted[j] = t }
        return (n % 2) ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
    }
    {
        key = $1 " " $2; n[key]++
        cpu[key, n[key]] = field("per_poll_ms"); xvfb[key, n[key]] = field("xvfb_per_poll_ms")
        rate[key, n[key]] = field("per_second"); lat[key, n[key]] = field("latency_ms_median")
        p95[key, n[key]] = field("p95"); size[$2] = 1
    }
    END {
        print ""
        printf "%-6s %-10s %14s %14s %12s %16s %12s\n", "", "size", "cpu/poll ms", "X cpu/poll ms", "polls/s", "reply->screen", "p95 ms"
        for (s in size) {
            for (p = 0; p < 2; p++) {
                prog = p ? "new" : "base"; key = prog " " s; k = n[key]
                for (i = 1; i <= k; i++) { a[i] = cpu[key, i]; b[i] = xvfb[key, i]; c[i] = rate[key, i]; d[i] = lat[key, i]; e[i] = p95[key, i] }
                m[prog, "cpu"] = median(a, k); m[prog, "rate"] = median(c, k); m[prog, "lat"] = median(d, k); m[prog, "p95"] = median(e, k)
                printf "%-6s %-10s %14.3f %14.3f %12.2f %13.1f ms %12.1f\n", prog, s, m[prog, "cpu"], median(b, k), m[prog, "rate"], m[prog, "lat"], m[prog, "p95"]
            }
            printf "  %s: cpu per poll new/base %.2f (target at most 0.4: %s); polls new %.3f of nominal %.1f/s (target at least 0.99: %s);",
                s, m["new", "cpu"] / m["base", "cpu"], (m["new", "cpu"] <= 0.4 * m["base", "cpu"]) ? "met" : "missed",
                m["new", "rate"] / nominal, nominal, (m["new", "rate"] >= 0.99 * nominal) ? "met" : "missed"
            printf " reply to screen p95 new %.1f ms, base %.1f ms + 33 ms (%s)\n", m["new", "p95"], m["base", "p95"],
                (m["new", "p95"] <= m["base", "p95"] + 33.4) ? "met" : "missed"
        }
    }' "$WORK/figures"
