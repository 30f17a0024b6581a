# Helpers for tests that build small networks out of network namespaces joined
# by veth pairs. Sourced by bash scripts. Every namespace is named after the
# script and its process id ($NETNS_PREFIX-...); both ends of every veth pair live in namespaces
# made here, and nothing is ever added to the namespace the script runs in.
# netns_cleanup, set as the EXIT trap, stops the processes started here and
# deletes the namespaces, whatever way the script ends.

NETNS_PREFIX="tavik-$(basename "$0" .sh)-$$"
NETNS_CREATED=()
NETNS_PIDS=()

# Exits with 77 (skipped) when named namespaces cannot be made here.
netns_require_root() {
    if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null; then
        echo "SKIP: named network namespaces need root and iproute2" >&2
        exit 77
    fi
}

netns_cleanup() {
    local ns
    netns_stop_all
    for ns in "${NETNS_CREATED[@]}"; do
        ip netns delete "$ns" 2>/dev/null
    done
    NETNS_CREATED=()
}

# netns_add NS: makes namespace NS with loopback up. Do not call it in a
# subshell, or the cleanup will not know of the namespace.
netns_add() {
    ip netns add "$1" || return 1
    NETNS_CREATED+=("$1")
    ip -n "$1" link set lo up
}

# netns_link NS1 IF1 NS2 IF2: a veth pair from NS1 to NS2, both ends up.
netns_link() {
    ip -n "$1" link add name "$2" type veth peer name "$4" netns "$3" &&
        ip -n "$1" link set "$2" up &&
        ip -n "$3" link set "$4" up
}

# netns_address NS IF ADDRESS/PREFIX...
netns_address() {
    local ns="$1" interface="$2" address
    shift 2
    for address in "$@"; do
        ip -n "$ns" addr add "$address" dev "$interface" || return 1
    done
}

# netns_bridge NS BRIDGE PORT...: a bridge in NS over the given ports, up.
netns_bridge() {
    local ns="$1" bridge="$2" port
    shift 2
    ip -n "$ns" link add name "$bridge" type bridge forward_delay 0 stp_state 0 || return 1
    for port in "$@"; do
        ip -n "$ns" link set "$port" master "$bridge" || return 1
    done
    ip -n "$ns" link set "$bridge" up
}

# netns_start NS LOG COMMAND...: starts COMMAND in NS in the background with
# its output in LOG, and waits until it prints "listening" (up to 5 s).
netns_start() {
    local ns="$1" log="$2" pid i
    shift 2
    ip netns exec "$ns" "$@" >"$log" 2>&1 &
    pid=$!
    NETNS_PIDS+=("$pid")
    for i in $(seq 100); do
        grep -q '^listening' "$log" && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "not ready: $* (in $ns)" >&2
    cat "$log" >&2
    return 1
}

# stop_processes PID...: stops the background processes and waits for their
# end. It never fails, so that a clean-up under `set -e` runs to its end: a
# process that has ended already cannot be signalled, and one stopped by the
# signal, or by the end of its X server, ends with a status other than 0.
stop_processes() {
    local pid
    for pid in "$@"; do
        kill "$pid" 2>/dev/null || :
    done
    for pid in "$@"; do
        wait "$pid" 2>/dev/null || :
    done
}

# netns_stop_all: stops every process started with netns_start.
netns_stop_all() {
    stop_processes "${NETNS_PIDS[@]}"
    NETNS_PIDS=()
}

# unit_list_line ADDRESS...: the debug line discovery ends with, listing these
# units in the form Qt writes a string list: ("a", "b") in Qt 5, QList("a", "b")
# in Qt 6. The test harness sets TAVIK_QT_MAJOR to the Qt of the build.
unit_list_line() {
    local items="" address
    for address in "$@"; do
        items+="${items:+, }\"$address\""
    done
    printf '%s(%s)\n' "$(unit_list_prefix)" "$items"
}

unit_list_prefix() {
    if [ "${TAVIK_QT_MAJOR:-5}" = 6 ]; then
        printf QList
    fi
}
