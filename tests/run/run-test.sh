#!/bin/bash
# run.sh without its build step (scripts/run-lib.sh): the simulator of its own,
# the instruction for the connection dialog that fits the machine, and a clear
# stop when the simulator's ports are taken.
#
#   taken ports: by a simulator left running, by another program; status 1,
#     the holder named with the command that stops it, the program not started
#   arguments and exit status of the program pass through; the simulator
#     stops when the program ends
#   no working `ip`: an instruction that holds either way
#   loopback only, link without carrier, link without IPv4 address: "Manual..."
#   a link that can broadcast: 127.0.0.1 is listed
#
# In the last four the program is the discovery probe, which runs discovery as
# the dialog does, so the instruction is checked against what the dialog lists.
#
# Usage: run-test.sh SIMULATOR DISCOVERY_PROBE
# Run it inside a network namespace of its own (tests/netns-run.sh).
set -u
SIMULATOR="$1"
PROBE="$2"
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$(mktemp -d)
PIDS=()
FAILURES=0
export QT_QPA_PLATFORM=offscreen

cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $CASE: $*"
    sed 's/^/  output: /' "$WORK/out" "$WORK/err"
    FAILURES=$((FAILURES + 1))
}

CASE="set-up"
if [ "$(ip -o link show | grep -vc ': lo:')" -ne 0 ]; then
    echo "FAIL: other interfaces than loopback here: run it through tests/netns-run.sh"
    exit 1
fi

# A stand-in for the program: notes its arguments, asks the simulator for its
# parameters, ends with status 3.
PROGRAM="$WORK/program"
cat >"$PROGRAM" <<SCRIPT
#!/bin/bash
printf '%s\n' "\$@" >"$WORK/arguments"
exec 3<>/dev/tcp/127.0.0.1/9800 || exit 9
printf 'PARAMS?\r\n' >&3
IFS= read -r -t 2 -N 13 reply <&3
printf '%s' "\$reply" >"$WORK/reply"
exit 3
SCRIPT
chmod +x "$PROGRAM"

# run PROGRAM [ARGUMENTS...]: run.sh's part after the build; sets $STATUS,
# output in out and err.
run() {
    rm -f "$WORK/arguments" "$WORK/reply"
    local program="$1"
    shift
    (
        # shellcheck source=scripts/run-lib.sh
        . "$ROOT/scripts/run-lib.sh"
        run_with_simulator "$SIMULATOR" "$program" "$WORK/simulator.log" "$@"
    ) >"$WORK/out" 2>"$WORK/err"
    STATUS=$?
}

says() {
    grep -qF -- "$1" "$WORK/out" "$WORK/err"
}

port_free() {
    [ -z "$(ss -Hltn 'sport = :9800')" ]
}

# holder NAME: a copy of the simulator under NAME holding the ports; sets $HOLDER.
holder() {
    cp "$SIMULATOR" "$WORK/$1"
    "$WORK/$1" --listen 127.0.0.1 >"$WORK/holder.log" 2>&1 </dev/null &
    HOLDER=$!
    PIDS+=("$HOLDER")
    local i
    for ((i = 0; i < 100; i++)); do
        grep -q '^listening' "$WORK/holder.log" && return 0
        sleep 0.05
    done
    echo "FAIL: $CASE: the holder did not start"
    exit 1
}

release() {
    kill "$HOLDER"
    wait "$HOLDER" 2>/dev/null
}

# probe_units: the units the probe listed.
probe_units() {
    sed -n 's/^unit //p' "$WORK/out" | tr '\n' ' ' | sed 's/ $//'
}

MANUAL='choose "Manual...", keep the offered 127.000.000.001 and press OK'
LISTED='choose 127.0.0.1 and press OK'

CASE="simulator left running"
holder tavik-simulator
run "$PROGRAM"
[ "$STATUS" -eq 1 ] || fail "status $STATUS, expected 1"
says "The simulator cannot start: cannot listen on 127.0.0.1:9800: The bound address is already in use" ||
    fail "no reason given"
says "process $HOLDER $WORK/tavik-simulator --listen 127.0.0.1" || fail "the holder is not named"
says "That is a simulator left running" || fail "not told it is a simulator"
says "    kill $HOLDER" || fail "not told how to stop it"
[ ! -e "$WORK/arguments" ] || fail "the program was started"
release

CASE="port held by another program"
holder other-server
run "$PROGRAM"
[ "$STATUS" -eq 1 ] || fail "status $STATUS, expected 1"
says "process $HOLDER $WORK/other-server --listen 127.0.0.1" || fail "the holder is not named"
{ says "Stop it with" && says "    kill $HOLDER"; } || fail "not told how to stop it"
! says "simulator left running" || fail "called a simulator"
[ ! -e "$WORK/arguments" ] || fail "the program was started"
release

CASE="program run"
run "$PROGRAM" one "two words"
[ "$STATUS" -eq 3 ] || fail "status $STATUS, expected the program's 3"
[ "$(cat "$WORK/arguments" 2>/dev/null)" = "$(printf 'one\ntwo words')" ] || fail "arguments not passed on"
[ "$(cat "$WORK/reply" 2>/dev/null)" = '{"TimeConst":' ] || fail "the simulator did not answer the program"
says "Simulator: listening 127.0.0.1:9800 (log in $WORK/simulator.log)" || fail "no simulator line"
grep -q '^command PARAMS' "$WORK/simulator.log" || fail "no log in $WORK/simulator.log"
port_free || fail "the simulator still runs after the program ended"

CASE="no working ip"
mkdir "$WORK/bin" && printf '#!/bin/sh\nexit 1\n' >"$WORK/bin/ip" && chmod +x "$WORK/bin/ip"
PATH="$WORK/bin:$PATH" run "$PROGRAM"
says "choose 127.0.0.1 and press OK if it is listed; if the list holds only \"Update...\" and \"Manual...\"" ||
    fail "no instruction for either case"

# expect_instruction TEXT UNITS: the instruction the operator read, and what
# discovery then listed.
expect_instruction() {
    run "$PROBE"
    [ "$STATUS" -eq 0 ] || fail "probe status $STATUS"
    says "$1" || fail "instruction \"$1\" not given"
    [ "$(probe_units)" = "$2" ] || fail "discovery listed [$(probe_units)], expected [$2]"
    port_free || fail "the simulator still runs after the program ended"
}

CASE="loopback only"
expect_instruction "$MANUAL" ""
says "No network interface here is up and can broadcast (only loopback)" || fail "no reason given"
! says "$LISTED" || fail "told to choose 127.0.0.1"

CASE="link that can broadcast"
{ ip link add tavik-a type veth peer name tavik-b && ip addr add 10.211.95.1/24 dev tavik-a &&
    ip link set tavik-a up && ip link set tavik-b up; } || { echo "FAIL: cannot make the veth pair"; exit 1; }
for ((i = 0; i < 100; i++)); do
    ip -o link show dev tavik-a | grep -q 'state UP' && break
    sleep 0.05
done
expect_instruction "$LISTED: discovery finds the simulator through tavik-a." "127.0.0.1"

CASE="link without carrier"
ip link set tavik-b down
expect_instruction "$MANUAL" ""

CASE="link without IPv4 address"
ip link set tavik-b up && ip addr del 10.211.95.1/24 dev tavik-a
for ((i = 0; i < 100; i++)); do
    ip -o link show dev tavik-a | grep -q 'state UP' && break
    sleep 0.05
done
expect_instruction "$MANUAL" ""

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s)"
    exit 1
fi
echo "PASS"
