#!/bin/sh
# Runs a command with a home and a settings directory of its own, made empty
# for it and removed afterwards, so that a test neither reads nor writes the
# user's settings. Usage: tests/private-home.sh COMMAND [ARGS...]
set -eu
home=$(mktemp -d "${TMPDIR:-/tmp}/tavik-home.XXXXXX")
trap 'rm -rf "$home"' EXIT
status=0
HOME="$home" XDG_CONFIG_HOME="$home/.config" "$@" || status=$?
exit "$status"
