#!/bin/sh
# Takes docs/images/main-window.png: the General page showing the simulator's
# parameters after "Update". Runs everything in a network namespace of its own
# under Xvfb. Usage: scripts/screenshot-main-window.sh [BUILD_DIR] [OUTPUT]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
output=$(realpath -m "${2:-$root/docs/images/main-window.png}")

if [ -z "${TAVIK_IN_NETNS:-}" ]; then
    exec env TAVIK_IN_NETNS=1 "$root/tests/netns-run.sh" "$0" "$build" "$output"
fi

work=$(mktemp -d)
display=:57
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
"$build/simulator/tavik-simulator" --listen 127.0.0.1 --no-discovery >"$work/simulator.log" 2>&1 </dev/null &
simulator=$!
trap 'kill $program $simulator $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
program=
sleep 1
export DISPLAY="$display"
# A home of its own: no stored address, so the manual entry offers 127.000.000.001.
HOME="$work" XDG_CONFIG_HOME="$work" "$build/app/tavik-counter" >"$work/program.log" 2>&1 &
program=$!

window()
{
    tries=0
    while :; do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -z "$found" ] || break
        tries=$((tries + 1))
        [ "$tries" -lt 50 ] || { echo "no window \"$1\"" >&2; cat "$work/program.log" >&2; exit 1; }
        sleep 0.2
    done
    echo "$found"
}

# Connection dialog: open the address list, pick "Manual...", accept the offered
# address, then OK.
dialog=$(window '^Conecting')
sleep 0.5
xdotool mousemove --window "$dialog" 150 23 click 1
sleep 0.5
xdotool mousemove --window "$dialog" 144 49 click 1
input=$(window 'TcpIp Addre')
sleep 0.3
xdotool mousemove --window "$input" 200 32 click 1 key Return
sleep 0.5
xdotool mousemove --window "$dialog" 68 54 click 1
main=$(window '^Tavik Counter App$')
sleep 1
# "General" in the page list, then "Update".
xdotool mousemove --window "$main" 70 28 click 1
sleep 0.5
xdotool mousemove --window "$main" 588 323 click 1
sleep 1
xdotool mousemove 1200 700
sleep 0.3
mkdir -p "$(dirname "$output")"
import -window "$main" "$output"
grep -a '^recv' "$work/simulator.log"
echo "$output"
