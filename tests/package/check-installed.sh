#!/bin/bash
# Checks an installed tree as a user meets it: every executable in PREFIX/bin
# prints VERSION with --version and has a manual page that renders without
# warnings and names each long option its --help lists; the icon in the six
# hicolor sizes, the desktop entry and the AppStream metadata are valid; the
# installed program's window carries the icon (Xvfb); the installed simulator
# answers "PARAMS?" on 127.0.0.1.
#
# Usage: check-installed.sh PREFIX VERSION
# Run it inside a network namespace of its own (tests/netns-run.sh): the
# simulator it starts answers discovery too.
set -u
PREFIX="$1"
VERSION="$2"
WORK=$(mktemp -d)
# stop_processes, until_ok, and desktop_cleanup to stop what goes into PIDS.
# shellcheck source=../startup/desktop-lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../startup/desktop-lib.sh"
FAILURES=0
trap desktop_cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    FAILURES=$((FAILURES + 1))
}

if [ "$(ip -o link show | grep -vc ': lo:')" -ne 0 ]; then
    echo "FAIL: other interfaces than loopback here: run it through tests/netns-run.sh"
    exit 1
fi
ip link set lo up

# manual_page NAME: the installed page of NAME, compressed or not.
manual_page() {
    local page
    for page in "$PREFIX/share/man/man1/$1.1.gz" "$PREFIX/share/man/man1/$1.1"; do
        [ -f "$page" ] && echo "$page" && return 0
    done
    return 1
}

# --- executables: --version and manual pages --------------------------------

EXECUTABLES=()
for executable in "$PREFIX"/bin/*; do
    EXECUTABLES+=("$(basename "$executable")")
done
for name in tavik-counter tavik-cli tavik-simulator; do
    [ -x "$PREFIX/bin/$name" ] || fail "$name is not installed"
done

for name in "${EXECUTABLES[@]}"; do
    # No display: the window answers --version before the toolkit starts.
    output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$PREFIX/bin/$name" --version 2>&1)
    status=$?
    if [ "$status" -ne 0 ] || [ "$output" != "$name $VERSION" ]; then
        fail "$name --version: status $status, printed '$output', expected '$name $VERSION'"
    fi

    if ! page=$(manual_page "$name"); then
        fail "$name has no manual page"
        continue
    fi
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page renders with warnings: $warnings"
    LC_ALL=C MANWIDTH=1000 man -l "$page" 2>/dev/null >"$WORK/page.txt"
    grep -qF "tavik-counter $VERSION" "$WORK/page.txt" || fail "$page does not name version $VERSION"

    for option in $("$PREFIX/bin/$name" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
        grep -qE -- "$option([^a-z-]|\$)" "$WORK/page.txt" || fail "$page does not describe $option"
    done
done

# --- icon, desktop entry, AppStream metadata ---------------------------------

# png_size FILE: "WIDTHxHEIGHT" from the PNG header, nothing for other files.
png_size() {
    [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 0
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }'
}

for size in 16 32 48 64 128 256; do
    icon="$PREFIX/share/icons/hicolor/${size}x${size}/apps/tavik-counter.png"
    [ -f "$icon" ] || { fail "no icon $icon"; continue; }
    [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "$icon is not a ${size}x${size} PNG"
done

DESKTOP="$PREFIX/share/applications/tavik-counter.desktop"
if [ -f "$DESKTOP" ]; then
    if report=$(desktop-file-validate "$DESKTOP" 2>&1); then
        [ -z "$report" ] || echo "desktop-file-validate: $report"
    else
        fail "desktop-file-validate: $report"
    fi
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$DESKTOP")
    [ -x "$PREFIX/bin/$exec_name" ] || fail "the desktop entry starts '$exec_name', which is not installed"
    icon_name=$(sed -n 's/^Icon=//p' "$DESKTOP")
    [ -f "$PREFIX/share/icons/hicolor/48x48/apps/$icon_name.png" ] ||
        fail "the desktop entry names icon '$icon_name', which is not installed"
else
    fail "no desktop entry $DESKTOP"
fi

METAINFO=("$PREFIX"/share/metainfo/*.metainfo.xml)
if [ "${#METAINFO[@]}" -eq 1 ] && [ -f "${METAINFO[0]}" ]; then
    report=$(appstreamcli validate --no-net --pedantic "${METAINFO[0]}" 2>&1) ||
        fail "appstreamcli validate: $report"
    grep -q "<release version=\"$VERSION\"" "${METAINFO[0]}" || fail "the AppStream release is not $VERSION"
    grep -q '<launchable type="desktop-id">tavik-counter.desktop</launchable>' "${METAINFO[0]}" ||
        fail "the AppStream metadata does not launch tavik-counter.desktop"
else
    fail "expected one AppStream file in $PREFIX/share/metainfo, found: ${METAINFO[*]}"
fi

# --- the window carries the icon ---------------------------------------------

# The installed program on an X server of its own, with the installed tree as
# the only place a desktop looks for icons (beside the index of the hicolor
# theme, which the desktop brings): its first window, the connection dialog,
# has the icon that window lists and task bars show.
window_icon() {
    local display window
    mkdir -p "$WORK/share/icons/hicolor"
    cp /usr/share/icons/hicolor/index.theme "$WORK/share/icons/hicolor/" ||
        { fail "no index of the hicolor icon theme (hicolor-icon-theme)"; return; }
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
    PIDS+=($!)
    until_ok 10 test -s "$WORK/display" || { fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"; return; }
    display=":$(cat "$WORK/display")"
    mkdir -p "$WORK/home" "$WORK/runtime" && chmod 700 "$WORK/runtime"
    env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb HOME="$WORK/home" \
        XDG_CONFIG_HOME="$WORK/home/.config" XDG_RUNTIME_DIR="$WORK/runtime" XDG_DATA_DIRS="$PREFIX/share:$WORK/share" \
        "$PREFIX/bin/tavik-counter" </dev/null >"$WORK/program.log" 2>&1 &
    PIDS+=($!)
    if ! until_ok 20 env DISPLAY="$display" xdotool search --name '^Conecting\.\.\.$' >"$WORK/window" 2>/dev/null; then
        fail "the installed program showed no connection dialog, log: $(cat "$WORK/program.log")"
    else
        window=$(head -n 1 "$WORK/window")
        DISPLAY="$display" xprop -id "$window" _NET_WM_ICON | grep -q '^_NET_WM_ICON(CARDINAL) = ' ||
            fail "the installed program's window has no icon"
    fi
    stop_processes "${PIDS[@]}"
    PIDS=()
}
window_icon

# --- the simulator answers ---------------------------------------------------

"$PREFIX/bin/tavik-simulator" --listen 127.0.0.1 </dev/null >"$WORK/simulator.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do
    grep -q '^listening 127.0.0.1:9800$' "$WORK/simulator.log" && break
    sleep 0.05
done
reply=
if exec 3<>/dev/tcp/127.0.0.1/9800; then
    printf 'PARAMS?\r\n' >&3
    IFS= read -r -t 5 -d '}' reply <&3
    exec 3<&-
fi
[[ "$reply}" =~ ^\{\"TimeConst\":[0-9.]+,\"Ref0\":[0-9.-]+,\"Ref1\":[0-9.-]+,\"Ref2\":[0-9.-]+,\"Ref3\":[0-9.-]+\}$ ]] ||
    fail "the installed simulator answered PARAMS? with '$reply', log: $(cat "$WORK/simulator.log")"

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s)"
    exit 1
fi
echo "installed tree checked: ${EXECUTABLES[*]}, version $VERSION"
