#!/bin/bash
# Discovery end to end, between network namespaces joined by veth pairs:
#
#   program --- net 1 (two links, 10.211.1.1 and .3) --- unit1 (bridge, 10.211.1.2)
#           --- net 2 (10.211.2.1) ---------------------- unit2 (10.211.2.2)
#           --- net 3 (10.211.3.1) ---------------------- hosts (10.211.3.2 to .5)
#   alone: loopback only
#
# Usage: discovery-test.sh PROBE ANSWERER [SIMULATOR]
# PROBE runs discovery and prints "elapsed MS", "debug LINE" and "unit ADDRESS"
# lines; ANSWERER stands in for control units and hostile hosts; SIMULATOR,
# when given, is checked to be found as a unit too.
set -u
PROBE="$1"
ANSWERER="$2"
SIMULATOR="${3:-}"
. "$(dirname "$0")/netns-lib.sh"
netns_require_root
WORK=$(mktemp -d)
trap 'netns_cleanup; rm -rf "$WORK"' EXIT
trap 'exit 1' INT TERM
export QT_QPA_PLATFORM=offscreen
FAILURES=0

fail() {
    echo "FAIL: $SCENARIO: $*"
    FAILURES=$((FAILURES + 1))
}

PROGRAM=$NETNS_PREFIX-program
UNIT1=$NETNS_PREFIX-unit1
UNIT2=$NETNS_PREFIX-unit2
HOSTS=$NETNS_PREFIX-hosts
ALONE=$NETNS_PREFIX-alone
netns_add "$PROGRAM" && netns_add "$UNIT1" && netns_add "$UNIT2" && netns_add "$HOSTS" && netns_add "$ALONE" &&
    netns_link "$PROGRAM" net1a "$UNIT1" port-a && netns_link "$PROGRAM" net1b "$UNIT1" port-b &&
    netns_bridge "$UNIT1" br0 port-a port-b && netns_address "$UNIT1" br0 10.211.1.2/24 &&
    netns_address "$PROGRAM" net1a 10.211.1.1/24 && netns_address "$PROGRAM" net1b 10.211.1.3/24 &&
    netns_link "$PROGRAM" net2 "$UNIT2" net2 &&
    netns_address "$PROGRAM" net2 10.211.2.1/24 && netns_address "$UNIT2" net2 10.211.2.2/24 &&
    netns_link "$PROGRAM" net3 "$HOSTS" net3 && netns_address "$PROGRAM" net3 10.211.3.1/24 &&
    netns_address "$HOSTS" net3 10.211.3.2/24 10.211.3.3/24 10.211.3.4/24 10.211.3.5/24 ||
    { echo "FAIL: could not build the test networks"; exit 1; }


# probe NS: runs the probe in NS and splits its output into $ELAPSED, $UNITS
# (one line each) and $DEBUG (one line each).
probe() {
    ip netns exec "$1" "$PROBE" >"$WORK/probe" 2>"$WORK/probe.err"
    local status=$?
    [ $status -eq 0 ] || fail "probe ended with status $status: $(cat "$WORK/probe.err")"
    ELAPSED=$(sed -n 's/^elapsed //p' "$WORK/probe")
    UNITS=$(sed -n 's/^unit //p' "$WORK/probe")
    DEBUG=$(sed -n 's/^debug //p' "$WORK/probe")
    echo "$SCENARIO: units [$(echo $UNITS)] in ${ELAPSED} ms, $(sed -n 's/^peak-memory //p' "$WORK/probe") peak"
}

expect_units() {
    [ "$UNITS" = "$(printf '%s\n' "$@")" ] || fail "expected units [$*], got [$(echo $UNITS)]"
}

expect_elapsed_between() {
    [ -n "$ELAPSED" ] && [ "$ELAPSED" -ge "$1" ] && [ "$ELAPSED" -lt "$2" ] ||
        fail "run took ${ELAPSED:-?} ms, expected $1 to $2 ms"
}

count() {
    grep -c "$1" "$2"
}

SCENARIO="units on other networks"
# unit1 is reached over both links of net 1 and answers both requests, the
# second one late; unit2 answers in between. unit1 keeps its first place.
netns_start "$UNIT1" "$WORK/unit1" "$ANSWERER" --delays 0,250 &&
    netns_start "$UNIT2" "$WORK/unit2" "$ANSWERER" --delays 100 || exit 1
probe "$PROGRAM"
netns_stop_all
expect_units 10.211.1.2 10.211.2.2
expect_elapsed_between 500 600
[ "$(count '^request 10.211.1.1 SERVER_REQUEST 14$' "$WORK/unit1")" -eq 4 ] ||
    fail "unit1 should get two 14-byte requests per run: $(grep '^request' "$WORK/unit1")"
[ "$(count '^sent' "$WORK/unit1")" -eq 4 ] || fail "unit1 did not answer every request"
[ "$DEBUG" = "$(printf '%s\n' 'before udpSocket create' 'waiting for answers' "$(unit_list_line 10.211.1.2 10.211.2.2)")" ] ||
    fail "debug lines: $DEBUG"

SCENARIO="unit on this machine"
# It hears the request of every network, through the local broadcast loop,
# and answers each from one of this machine's addresses.
netns_start "$PROGRAM" "$WORK/local" "$ANSWERER" &&
    netns_start "$UNIT2" "$WORK/unit2" "$ANSWERER" --delays 100 || exit 1
probe "$PROGRAM"
netns_stop_all
expect_units 127.0.0.1 10.211.2.2
[ "$(count '^sent' "$WORK/local")" -ge 6 ] || fail "the local unit answered too seldom: $(cat "$WORK/local")"

SCENARIO="loopback answer and silent unit"
# The local answerer connects from 127.0.0.1; unit2 connects and says
# nothing for 150 ms. Neither is listed, unit1 is.
netns_start "$PROGRAM" "$WORK/local" "$ANSWERER" --answer-to 127.0.0.1 &&
    netns_start "$UNIT1" "$WORK/unit1" "$ANSWERER" &&
    netns_start "$UNIT2" "$WORK/unit2" "$ANSWERER" --behaviour silent --hold 150 || exit 1
probe "$PROGRAM"
netns_stop_all
expect_units 10.211.1.2
[ "$(count '^sent' "$WORK/local")" -ge 4 ] || fail "no answer came from 127.0.0.1: $(cat "$WORK/local")"
[ "$(count '^connected' "$WORK/unit2")" -ge 2 ] || fail "the silent unit never connected: $(cat "$WORK/unit2")"

SCENARIO="silent connections ahead of units"
# .2 opens eight connections as soon as it hears the request and says nothing;
# unit1 answers 30 ms later, unit2 60 ms later. Each connection waits on its
# own, so both units are listed, in the order they answered, within the bound.
netns_start "$HOSTS" "$WORK/silent" "$ANSWERER" --source 10.211.3.2 --behaviour silent --hold 2000 \
        --connections 8 &&
    netns_start "$UNIT1" "$WORK/unit1" "$ANSWERER" --delays 30 &&
    netns_start "$UNIT2" "$WORK/unit2" "$ANSWERER" --delays 60 || exit 1
probe "$PROGRAM"
netns_stop_all
expect_units 10.211.1.2 10.211.2.2
expect_elapsed_between 500 600
[ "$(count '^connected' "$WORK/silent")" -ge 16 ] || fail "the silent host did not connect: $(cat "$WORK/silent")"
[ "$(count '^sent' "$WORK/unit2")" -ge 2 ] || fail "unit2 did not answer: $(cat "$WORK/unit2")"

SCENARIO="answer port taken"
netns_start "$PROGRAM" "$WORK/holder" "$ANSWERER" --occupy 9802 &&
    netns_start "$UNIT1" "$WORK/unit1" "$ANSWERER" || exit 1
probe "$PROGRAM"
netns_stop_all
expect_units
expect_elapsed_between 0 100
[ -z "$DEBUG" ] || fail "debug lines written: $DEBUG"
[ "$(count '^request' "$WORK/unit1")" -eq 0 ] || fail "requests were sent"

SCENARIO="loopback only"
netns_start "$ALONE" "$WORK/alone" "$ANSWERER" || exit 1
probe "$ALONE"
netns_stop_all
expect_units
expect_elapsed_between 500 600
[ "$(count '^request' "$WORK/alone")" -eq 0 ] || fail "requests were sent"
[ "$DEBUG" = "$(printf '%s\n' 'before udpSocket create' 'waiting for answers' "$(unit_list_line)")" ] ||
    fail "debug lines: $DEBUG"

SCENARIO="hostile hosts"
# Garbage from .3 and megabytes from .4 come with unit1's answer; 30 ms later
# .2 opens many connections and says nothing, and from 480 ms on .5 opens more.
# No host that stayed silent may be listed, those that answered before the
# silent ones still are, and the run must not stretch beyond 600 ms.
netns_start "$HOSTS" "$WORK/garbage" "$ANSWERER" --source 10.211.3.3 --behaviour garbage --connections 20 &&
    netns_start "$HOSTS" "$WORK/flood" "$ANSWERER" --source 10.211.3.4 --behaviour flood --connections 3 &&
    netns_start "$HOSTS" "$WORK/silent" "$ANSWERER" --source 10.211.3.2 --behaviour silent --hold 2000 \
        --delays 30 --connections 30 &&
    netns_start "$HOSTS" "$WORK/late" "$ANSWERER" --source 10.211.3.5 --behaviour silent --hold 0 \
        --delays 480 --connections 10 &&
    netns_start "$UNIT1" "$WORK/unit1" "$ANSWERER" || exit 1
probe "$PROGRAM"
netns_stop_all
expect_elapsed_between 500 600
for unit in 10.211.1.2 10.211.3.3 10.211.3.4; do
    echo "$UNITS" | grep -qx "$unit" || fail "$unit not listed"
done
for unit in $UNITS; do
    case "$unit" in
    10.211.1.2 | 10.211.3.3 | 10.211.3.4 | 10.211.3.5) ;;
    *) fail "$unit listed" ;;
    esac
done
[ "$(echo "$UNITS" | sort | uniq -d)" = "" ] || fail "duplicates listed"
[ "$(count '^connected' "$WORK/silent")" -ge 30 ] || fail "the silent host did not connect"
[ "$(count '^connected' "$WORK/late")" -ge 10 ] || fail "the late host did not connect"

if [ -n "$SIMULATOR" ]; then
    SCENARIO="simulator"
    netns_start "$UNIT2" "$WORK/simulator" "$SIMULATOR" || exit 1
    probe "$PROGRAM"
    netns_stop_all
    expect_units 10.211.2.2
fi

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s)"
    exit 1
fi
echo "all discovery scenarios passed"
