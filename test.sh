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
# The fuzz targets are built with clang and its libFuzzer runtime.
ensure_packages clang libclang-rt-14-dev

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

# The same suite again with AddressSanitizer, UndefinedBehaviorSanitizer and
# the leak check; the suppressions name the one-off allocations of Qt's
# offscreen platform plugin.
(
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
    build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DTAVIK_SANITIZE=ON
) || failed="$failed build-asan"

# A short run of every fuzz target; longer runs: fuzz/run-fuzzers.sh N.
fuzz/run-fuzzers.sh "${FUZZ_RUNS:-20000}" "$(pwd)/build-fuzz" || failed="$failed fuzz"

if [ -n "$failed" ]; then
    echo "FAILED:$failed" >&2
    exit 1
fi
echo "All tests passed."
