#!/bin/sh
# Installs what is missing, builds the suite on Qt 5 (build-test/) and on Qt 6
# (build-test-qt6/) and runs it on each, runs it again under the sanitizers,
# gives each fuzz target a short run, then builds the Debian package once and
# checks it. Prints the time of each stage; exits non-zero when any fails.
set -eu
cd "$(dirname "$0")"
. scripts/ensure-packages.sh

# Tests run in network namespaces of their own (ip, unshare); the window tests
# drive a real X server (Xvfb, openbox, xdotool, xclip, wmctrl, import); the
# installed tree's check reads the window's icon with xprop from the index of
# the hicolor theme.
# shellcheck disable=SC2086
ensure_packages $build_packages $package_packages iproute2 util-linux xvfb xdotool imagemagick openbox xclip wmctrl \
    x11-utils hicolor-icon-theme poppler-utils
# The fuzz targets are built with clang and its libFuzzer runtime.
ensure_packages clang libclang-rt-14-dev

# build_and_test DIR [CMAKE ARGS...]: one configured build and its whole suite.
build_and_test()
{
    dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" &&
        cmake --build "$dir" -j"$(nproc)" &&
        (cd "$dir" && ctest --output-on-failure -j2)
}

# The package built once from a copy of this tree (build-package/), lintian on
# it, then unpacked into a throw-away root whose executables are run.
package_and_test()
{
    deb=$(scripts/build-package.sh build-package) &&
        lintian --fail-on error,warning --display-info build-package/tavik-counter_*.changes &&
        tests/netns-run.sh bash tests/package/package-test.sh "$deb"
}

failed=
stage_times=
# stage NAME COMMAND...: runs one stage, notes its time and whether it failed.
stage()
{
    name=$1
    shift
    echo "=== $name"
    started=$(date +%s)
    "$@" || failed="$failed $name"
    stage_times="$stage_times$(printf '%-10s %5d s' "$name" $(($(date +%s) - started)))
"
}

stage qt5 build_and_test build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
stage qt6 build_and_test build-test-qt6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIK_QT_MAJOR=6

# The same suite again with AddressSanitizer, UndefinedBehaviorSanitizer and
# the leak check; the suppressions name the one-off allocations of Qt's
# offscreen platform plugin.
sanitized()
{
    (
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
        export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
        export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
        build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DTAVIK_SANITIZE=ON
    )
}
stage asan sanitized

# A short run of every fuzz target; longer runs: fuzz/run-fuzzers.sh N.
stage fuzz fuzz/run-fuzzers.sh "${FUZZ_RUNS:-20000}" "$(pwd)/build-fuzz"

stage package package_and_test

echo "=== stage times"
printf '%s' "$stage_times"
if [ -n "$failed" ]; then
    echo "FAILED:$failed" >&2
    exit 1
fi
echo "All tests passed."
