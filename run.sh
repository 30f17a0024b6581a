#!/bin/sh
# Installs what is missing, builds into build/, starts the control-unit simulator
# on 127.0.0.1 and then the program. The simulator stops when the program ends.
set -eu
cd "$(dirname "$0")"
. scripts/ensure-packages.sh

# shellcheck disable=SC2086
ensure_packages $build_packages
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build -j"$(nproc)"

log=build/simulator.log
# The simulator takes commands on loopback only and answers discovery requests
# from this machine only, so the connection dialog lists it as "127.0.0.1".
build/simulator/tavik-simulator --listen 127.0.0.1 >"$log" 2>&1 </dev/null &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM

tries=0
until grep -q '^listening ' "$log" 2>/dev/null; do
    if ! kill -0 "$simulator" 2>/dev/null || [ "$tries" -ge 50 ]; then
        echo "The simulator did not start:" >&2
        cat "$log" >&2
        exit 1
    fi
    tries=$((tries + 1))
    sleep 0.1
done
echo "Simulator: $(grep '^listening ' "$log") (log in $log)"
echo "In the connection dialog choose 127.0.0.1 (or \"Manual...\" and keep 127.000.000.001)."

status=0
build/app/tavik-counter "$@" || status=$?
exit "$status"
