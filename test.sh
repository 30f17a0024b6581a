#!/bin/sh
# Installs what is missing, builds into build-test/ and runs every test.
# Exits non-zero when a build or a test fails.
set -eu
cd "$(dirname "$0")"
. scripts/ensure-packages.sh

# Tests run in network namespaces of their own (ip, unshare); the window tests
# drive a real X server (Xvfb, openbox, xdotool, xclip, wmctrl, import).
# shellcheck disable=SC2086
ensure_packages $build_packages iproute2 util-linux xvfb xdotool imagemagick openbox xclip wmctrl

# build_and_test DIR [CMAKE ARGS...]: one configured build and its whole suite.
build_and_test()
{
    dir=$1
    shift
    echo "=== $dir: $*"
    cmake -S . -B "$dir" -G Ninja "$@" &&
        cmake --build "$dir" -j"$(nproc)" &&
        (cd "$dir" && ctest --output-on-failure -j2)
}

failed=
build_and_test build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo || failed="$failed build-test"

if [ -n "$failed" ]; then
    echo "FAILED:$failed" >&2
    exit 1
fi
echo "All tests passed."
