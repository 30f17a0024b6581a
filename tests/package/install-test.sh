#!/bin/bash
# A plain `cmake --install` of the build into a scratch prefix, checked as a
# user meets it (check-installed.sh) against the version of the top entry of
# debian/changelog.
# Usage: install-test.sh BUILD_DIR SOURCE_DIR
# Run it inside a network namespace of its own (tests/netns-run.sh).
set -u
BUILD="$1"
SOURCE="$2"
PREFIX=$(mktemp -d)
trap 'rm -rf "$PREFIX"' EXIT

VERSION=$(dpkg-parsechangelog -l "$SOURCE/debian/changelog" -S Version) || exit 1
cmake --install "$BUILD" --prefix "$PREFIX" >"$PREFIX/install.log" 2>&1 || {
    cat "$PREFIX/install.log"
    echo "FAIL: cmake --install"
    exit 1
}
rm "$PREFIX/install.log"
bash "$(dirname "${BASH_SOURCE[0]}")/check-installed.sh" "$PREFIX" "$VERSION"
