#!/bin/sh
# Runs a command in a network namespace of its own that holds only a loopback
# interface, so that fixed ports never collide between tests run at once and
# nothing a test sends (discovery broadcasts included) leaves the namespace.
# Usage: tests/netns-run.sh COMMAND [ARGS...]
set -eu
if [ "$(id -u)" -eq 0 ]; then
    exec unshare --net -- sh -c 'ip link set lo up && exec "$@"' netns-run "$@"
else
    exec unshare --user --map-root-user --net -- sh -c 'ip link set lo up && exec "$@"' netns-run "$@"
fi
