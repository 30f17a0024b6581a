#!/bin/bash
# Takes the screenshots in docs/images: the General page after "Update", the
# measurement pages and the plot menus; and tries the plot features in a real
# window on the way:
# the sweep's progress, zooming and panning with the point read-out, the
# counts recorded to a file, and pictures of the plots saved as PNG and PDF.
# Runs everything in a network namespace of its own under Xvfb with the
# openbox window manager, the program against the simulator on 127.0.0.1.
# Usage: scripts/screenshot-plot-features.sh [BUILD_DIR] [OUTPUT_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
output=$(realpath -m "${2:-$root/docs/images}")

if [ -z "${TAVIK_IN_NETNS:-}" ]; then
    exec env TAVIK_IN_NETNS=1 "$root/tests/netns-run.sh" "$0" "$build" "$output"
fi

WORK=$(mktemp -d)
# shellcheck source=tests/startup/desktop-lib.sh
source "$root/tests/startup/desktop-lib.sh"
trap desktop_cleanup EXIT
# A home of its own: no stored address and no stored choices.
desktop_home
desktop_display
"$build/simulator/tavik-simulator" --listen 127.0.0.1 --no-discovery >"$WORK/simulator.log" 2>&1 </dev/null &
PIDS+=($!)
until_ok 10 grep -q '^listening' "$WORK/simulator.log" ||
    { echo "the simulator did not start: $(cat "$WORK/simulator.log")" >&2; exit 1; }
"$build/app/tavik-counter" >"$WORK/program.log" 2>&1 </dev/null &
PIDS+=($!)
mkdir -p "$output"

window() {
    local tries=0 found
    while :; do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -z "$found" ] || break
        tries=$((tries + 1))
        [ "$tries" -lt 50 ] || { echo "no window \"$1\"" >&2; cat "$WORK/program.log" >&2; exit 1; }
        sleep 0.2
    done
    echo "$found"
}

# geometry WINDOW: "WIDTHxHEIGHT+X+Y" of the window on the screen.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
        /Width:/ { w = $2 } /Height:/ { h = $2 } END { printf "%dx%d+%d+%d", w, h, x, y }'
}

# frame WINDOW: the window manager's frame around WINDOW.
frame() {
    local id=$1 parent
    while :; do
        parent=$(xwininfo -tree -id "$id" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
        [ "$parent" != "$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')" ] || break
        id=$parent
    done
    echo "$id"
}

# shot NAME WINDOW: the screen where WINDOW is, with what lies over it (menus,
# tool tips), into NAME.png.
shot() {
    import -window root -crop "$(geometry "$2")" +repage "$output/$1.png"
    echo "$output/$1.png"
}

right_click() {
    xdotool mousemove --window "$main" "$1" "$2" click 3
    sleep 0.7
}

# choose_from_menu DOWNS: the entry DOWNS steps down an open menu.
choose_from_menu() {
    local keys=()
    for _ in $(seq "$1"); do
        keys+=(Down)
    done
    xdotool key --delay 100 "${keys[@]}" Return
    sleep 0.7
}

# save_as PATH: types PATH into the file dialog that is open, and accepts it.
save_as() {
    window '^(Save File|Record to File)' >/dev/null
    sleep 0.5
    xdotool key ctrl+a
    xdotool type --delay 20 "$1"
    xdotool key Return
    sleep 1
}

# Connection dialog, from the keyboard: End picks "Manual...", Return accepts
# the offered address in the input box and then presses OK.
dialog=$(window '^Conecting')
sleep 0.5
xdotool windowactivate --sync "$dialog"
xdotool key End
input=$(window 'TcpIp Addre')
sleep 0.3
xdotool windowactivate --sync "$input"
xdotool key Return
sleep 1
xdotool windowactivate --sync "$dialog"
xdotool key Return
main=$(window '^Tavik Counter App')
outer=$(frame "$main")
sleep 1
echo "main window: $(geometry "$main")"

# "General" in the page list, then "Update": the simulator's parameters.
xdotool mousemove --window "$main" 70 28 click 1
sleep 0.5
xdotool mousemove --window "$main" 588 323 click 1
sleep 1
xdotool mousemove 1200 700
sleep 0.3
import -window "$main" "$output/main-window.png"
echo "$output/main-window.png"

# Positions in the main window at its first size (page list rows, buttons).
sweep_row=94
counts_row=61
histogram_row=127
plot_x=600
plot_y=150

# The counts first: the sweep leaves the reference at its last level, which
# the simulator's counts follow.
# Counts vs Time at 0.1 s, recorded to a file, and its menu after 30 s.
xdotool mousemove --window "$main" 70 "$counts_row" click 1
sleep 0.5
xdotool mousemove --window "$main" 1040 346 click 1
sleep 1
right_click "$plot_x" "$plot_y"
choose_from_menu 4
save_as "$WORK/counts-record.txt"
xdotool mousemove 1270 1010
sleep 31
shot counts "$main"
right_click 700 "$plot_y"
shot menu-counts "$outer"
xdotool key Escape
xdotool mousemove --window "$main" 1126 346 click 1

# Histogram after a few seconds of cumulation, its menu, and its picture as PDF.
xdotool mousemove --window "$main" 70 "$histogram_row" click 1
sleep 0.5
xdotool mousemove --window "$main" 1031 337 click 1
xdotool mousemove 1270 1010
sleep 4
shot histogram "$main"
right_click "$plot_x" "$plot_y"
shot menu-histogram "$outer"
choose_from_menu 3
save_as "$WORK/histogram.pdf"
xdotool mousemove --window "$main" 1117 337 click 1

# Sweep: its progress half-way, the finished sweep, its menu, then a closer look.
xdotool mousemove --window "$main" 70 "$sweep_row" click 1
sleep 0.5
xdotool mousemove --window "$main" 781 328 click 1
sleep 7
xdotool mousemove 1270 1010
shot sweep-progress "$main"
sleep 14
shot sweep "$main"
right_click "$plot_x" "$plot_y"
shot menu-sweep "$outer"
xdotool key Escape
# Three steps of the wheel over the plateaus, a drag to bring their tops in,
# and the pointer on channel 2 at 500 mV.
xdotool mousemove --window "$main" 470 90
for _ in 1 2 3; do
    xdotool click 4
    sleep 0.2
done
xdotool mousemove --window "$main" 700 150 mousedown 1
for _ in 1 2 3 4 5; do
    xdotool mousemove_relative 0 10
    sleep 0.1
done
xdotool mouseup 1
sleep 0.5
xdotool mousemove --window "$main" 869 162
sleep 0.3
xdotool mousemove_relative 1 0
sleep 1
shot sweep-zoom "$main"
# Back to the automatic view, and the picture of the plot as PNG.
xdotool mousemove --window "$main" 700 150 click --repeat 2 --delay 80 1
sleep 0.5
right_click "$plot_x" "$plot_y"
choose_from_menu 3
save_as "$WORK/sweep.png"

echo "record: $(grep -c . "$WORK/counts-record.txt") lines, the first: $(head -n 1 "$WORK/counts-record.txt")"
echo "sweep.png: $(identify -format '%wx%h %m' "$WORK/sweep.png" 2>&1)"
echo "histogram.pdf: $(head -c 8 "$WORK/histogram.pdf" | tr -d '\n'), $(grep -a -o 'MediaBox[^]]*]' "$WORK/histogram.pdf")"
grep -a -v '^QHostAddress\|^Update params\|^"{' "$WORK/program.log" || true
