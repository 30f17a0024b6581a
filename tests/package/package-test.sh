#!/bin/bash
# The Debian package unpacked into a throw-away root (dpkg-deb -x) and its
# installed tree checked as a user meets it (check-installed.sh), against the
# package's own version. Nothing may land outside /usr.
# Usage: package-test.sh DEB
# Run it inside a network namespace of its own (tests/netns-run.sh).
set -u
DEB="$1"
ROOT=$(mktemp -d)
trap 'rm -rf "$ROOT"' EXIT

dpkg-deb -x "$DEB" "$ROOT" || exit 1
VERSION=$(dpkg-deb -f "$DEB" Version) || exit 1
outside=$(cd "$ROOT" && find . -mindepth 1 -maxdepth 1 ! -name usr)
if [ -n "$outside" ]; then
    echo "FAIL: the package installs outside /usr: $outside"
    exit 1
fi
bash "$(dirname "${BASH_SOURCE[0]}")/check-installed.sh" "$ROOT/usr" "$VERSION"
