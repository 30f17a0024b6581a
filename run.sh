#!/bin/sh
# Installs what is missing, builds into build/, starts the control-unit simulator
# on 127.0.0.1 and then the program, and says what to pick in the connection
# dialog on this machine. The simulator stops when the program ends.
set -eu
cd "$(dirname "$0")"
. scripts/ensure-packages.sh
. scripts/run-lib.sh

# shellcheck disable=SC2086
ensure_packages $build_packages
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build -j"$(nproc)"

status=0
run_with_simulator build/simulator/tavik-simulator build/app/tavik-counter build/simulator.log "$@" || status=$?
exit "$status"
