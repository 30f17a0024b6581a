#!/bin/bash
# The tool's discover command between network namespaces joined by veth pairs:
#
#   program --- net 1 (10.211.5.1) --- unit1 (simulator, 10.211.5.2)
#           --- net 2 (10.211.6.1) --- unit2 (simulator, 10.211.6.2)
#   alone: loopback only
#
# Usage: discover-test.sh TOOL SIMULATOR
set -u
TOOL="$1"
SIMULATOR="$2"
. "$(dirname "$0")/../netns/netns-lib.sh"
netns_require_root
WORK=$(mktemp -d)
trap 'netns_cleanup; rm -rf "$WORK"' EXIT
trap 'exit 1' INT TERM
FAILURES=0

fail() {
    echo "FAIL: $SCENARIO: $*"
    FAILURES=$((FAILURES + 1))
}

PROGRAM=$NETNS_PREFIX-program
UNIT1=$NETNS_PREFIX-unit1
UNIT2=$NETNS_PREFIX-unit2
ALONE=$NETNS_PREFIX-alone
netns_add "$PROGRAM" && netns_add "$UNIT1" && netns_add "$UNIT2" && netns_add "$ALONE" &&
    netns_link "$PROGRAM" net1 "$UNIT1" net1 && netns_address "$PROGRAM" net1 10.211.5.1/24 &&
    netns_address "$UNIT1" net1 10.211.5.2/24 &&
    netns_link "$PROGRAM" net2 "$UNIT2" net2 && netns_address "$PROGRAM" net2 10.211.6.1/24 &&
    netns_address "$UNIT2" net2 10.211.6.2/24 ||
    { echo "FAIL: could not build the test networks"; exit 1; }

# discover NS ARGS...: runs the tool's discover in NS; sets $STATUS, $OUT, $ERR.
discover() {
    local ns="$1"
    shift
    ip netns exec "$ns" "$TOOL" discover "$@" >"$WORK/out" 2>"$WORK/err"
    STATUS=$?
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
    echo "$SCENARIO: status $STATUS, [$(echo $OUT)]"
}

expect() {
    [ "$STATUS" -eq "$1" ] || fail "status $STATUS, expected $1 ($ERR)"
    [ "$(printf '%s\n' "$OUT" | sort)" = "$2" ] || fail "output [$OUT], expected [$2]"
    [ "$ERR" = "$3" ] || fail "standard error [$ERR], expected [$3]"
}

netns_start "$UNIT1" "$WORK/unit1" "$SIMULATOR" && netns_start "$UNIT2" "$WORK/unit2" "$SIMULATOR" || exit 1

SCENARIO="two units"
discover "$PROGRAM"
expect 0 "$(printf '10.211.5.2\n10.211.6.2')" ""
grep -q '\r' "$WORK/out" && fail "CR in the lines"

SCENARIO="json"
discover "$PROGRAM" --json
expect 0 "$(printf '{"Address":"10.211.5.2"}\n{"Address":"10.211.6.2"}')" ""

SCENARIO="output file"
discover "$PROGRAM" --output "$WORK/units.txt"
expect 0 "" ""
[ "$(sort "$WORK/units.txt")" = "$(printf '10.211.5.2\n10.211.6.2')" ] || fail "file: $(cat "$WORK/units.txt")"

SCENARIO="no unit"
echo "old" >"$WORK/none.txt"
discover "$ALONE" --output "$WORK/none.txt"
expect 3 "" "tavik-cli: no control unit answered"
[ "$(cat "$WORK/none.txt")" = "old" ] || fail "the old file was replaced"

netns_stop_all
[ "$(grep -c '^discovery request' "$WORK/unit1")" -eq 3 ] || fail "unit1 requests: $(grep '^discovery' "$WORK/unit1")"

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s)"
    exit 1
fi
echo "all discover scenarios passed"
