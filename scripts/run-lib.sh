# shellcheck shell=sh
# Sourced by run.sh: runs the program against a simulator of its own on
# 127.0.0.1, and tells the operator what to pick in the connection dialog.

SIMULATOR_PORT=9800

# broadcast_interfaces: prints the interfaces that discovery sends its request
# on: up, running (state UP or UNKNOWN), able to broadcast, with an IPv4
# address. Returns 2 when it cannot tell (no working `ip`).
broadcast_interfaces()
{
    command -v ip >/dev/null 2>&1 || return 2
    addresses=$(ip -o -4 addr show 2>/dev/null) || return 2
    links=$(ip -o link show up 2>/dev/null) || return 2
    printf '%s\n---\n%s\n' "$addresses" "$links" | awk '
        $0 == "---" { links = 1; next }
        !links { sub(":$", "", $1); inet[$1] = 1; next }
        {
            number = $1; sub(":$", "", number)
            name = $2; sub(":$", "", name); sub("@.*", "", name)
            if (inet[number] && $3 ~ /[<,]BROADCAST[,>]/ && $3 ~ /[<,]UP[,>]/ && $0 ~ / state (UP|UNKNOWN) /)
                print name
        }'
}

# dialog_instruction: what to pick in the connection dialog on this machine.
# Discovery reaches the simulator only through an interface that can
# broadcast; on loopback alone the dialog lists nothing, and OK on its
# "Update..." entry ends the program.
dialog_instruction()
{
    if interfaces=$(broadcast_interfaces); then
        if [ -n "$interfaces" ]; then
            echo "In the connection dialog choose 127.0.0.1 and press OK: discovery finds the simulator" \
                "through $(echo "$interfaces" | paste -sd , - | sed 's/,/, /g')."
            echo "(Or choose \"Manual...\", keep the offered 127.000.000.001 and press OK.)"
        else
            echo "No network interface here is up and can broadcast (only loopback), so the connection" \
                "dialog cannot list the simulator."
            echo "In the dialog choose \"Manual...\", keep the offered 127.000.000.001 and press OK" \
                "(OK on \"Update...\" ends the program with \"Wrong Tcp/Ip Address\")."
        fi
    else
        echo "In the connection dialog choose 127.0.0.1 and press OK if it is listed; if the list holds only" \
            "\"Update...\" and \"Manual...\" (no network interface up), choose \"Manual...\", keep the offered" \
            "127.000.000.001 and press OK."
    fi
}

# port_holders PORT...: prints "PID COMMAND LINE" for each process that has one
# of the TCP or UDP ports open, as far as `ss` can tell.
port_holders()
{
    command -v ss >/dev/null 2>&1 || return 0
    filter=
    for port in "$@"; do
        filter="${filter:+$filter or }sport = :$port"
    done
    # shellcheck disable=SC2086 # the filter is meant to split into words
    ss -Hltunp $filter 2>/dev/null | grep -o 'pid=[0-9]*' | sed 's/pid=//' | sort -un | while read -r pid; do
        command_line=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | sed 's/ $//') || true
        echo "$pid ${command_line:-?}"
    done
}

# explain_taken_ports LOG: why the simulator could not bind its ports, and how
# to free them.
explain_taken_ports()
{
    echo "The simulator cannot start: $(cat "$1")"
    holders=$(port_holders "$SIMULATOR_PORT" "$((SIMULATOR_PORT + 1))")
    if [ -z "$holders" ]; then
        echo "Another process holds port $SIMULATOR_PORT (TCP) or $((SIMULATOR_PORT + 1)) (UDP), perhaps a" \
            "simulator left running from \"Building by hand\"; \`ss -ltunp\` (as root) names it. Stop it" \
            "and run ./run.sh again."
        return
    fi
    echo "Port $SIMULATOR_PORT (TCP) or $((SIMULATOR_PORT + 1)) (UDP) is held by:"
    echo "$holders" | sed 's/^/    process /'
    pids=$(echo "$holders" | cut -d ' ' -f 1 | tr '\n' ' ' | sed 's/ $//')
    if echo "$holders" | grep -q 'tavik-simulator'; then
        echo "That is a simulator left running, for example from \"Building by hand\". run.sh does not use" \
            "a simulator it did not start (its options and its log are unknown to it, and it would not stop" \
            "with the program); stop that one with"
    else
        echo "Stop it with"
    fi
    echo "    kill $pids"
    echo "and run ./run.sh again."
}

# start_simulator SIMULATOR LOG: starts the simulator on 127.0.0.1 in the
# background with its log in LOG, and waits until it listens. Sets
# SIMULATOR_PID. On failure says why on standard error and returns 1.
start_simulator()
{
    # Commands on loopback only; discovery answers reach this machine only.
    "$1" --listen 127.0.0.1 --port "$SIMULATOR_PORT" >"$2" 2>&1 </dev/null &
    SIMULATOR_PID=$!
    tries=0
    until grep -q '^listening ' "$2" 2>/dev/null; do
        if ! kill -0 "$SIMULATOR_PID" 2>/dev/null; then
            status=0
            wait "$SIMULATOR_PID" || status=$?
            SIMULATOR_PID=
            # Status 1: a port could not be bound.
            if [ "$status" -eq 1 ] && grep -q 'already in use' "$2"; then
                explain_taken_ports "$2" >&2
            else
                echo "The simulator did not start (status $status):" >&2
                cat "$2" >&2
            fi
            return 1
        fi
        if [ "$tries" -ge 50 ]; then
            echo "The simulator did not start listening within 5 s:" >&2
            cat "$2" >&2
            stop_simulator
            return 1
        fi
        tries=$((tries + 1))
        sleep 0.1
    done
}

stop_simulator()
{
    [ -n "${SIMULATOR_PID:-}" ] || return 0
    kill "$SIMULATOR_PID" 2>/dev/null || true
    wait "$SIMULATOR_PID" 2>/dev/null || true
    SIMULATOR_PID=
}

# run_with_simulator SIMULATOR PROGRAM LOG [ARGUMENTS...]: the program against
# a simulator of its own, which stops when the program ends. Returns the
# program's exit status, or 1 when the simulator cannot start.
run_with_simulator()
{
    simulator=$1
    program=$2
    log=$3
    shift 3
    start_simulator "$simulator" "$log" || return 1
    trap stop_simulator EXIT
    trap 'exit 130' INT TERM
    echo "Simulator: $(grep '^listening ' "$log") (log in $log)"
    dialog_instruction
    status=0
    "$program" "$@" || status=$?
    stop_simulator
    return "$status"
}
