#!/usr/bin/env bash
# Builds Kelvalog and starts it. Without a board (KELVALOG_BOARD unset) it
# also starts the board simulator on a pseudo-terminal and points Kelvalog at
# it, so the port dialog lists the simulated port.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}"
ensure_office_packages

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release "${OFFICE_CMAKE_ARGS[@]}" \
    "${COMPILER_LAUNCHER[@]}"
cmake --build build/release --target kelvalog kelvalog-boardsim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Kelvalog is a desktop program and this machine has no display (DISPLAY is not set): run this command in a graphical session, or start it under xvfb-run to try it headless."
    exit 1
fi

app=build/release/src/app/kelvalog
sim=build/release/tools/boardsim/kelvalog-boardsim
if [ -n "${KELVALOG_BOARD:-}" ] || [ ! -x "$sim" ]; then
    exec "$app"
fi

ports=$(mktemp -d /tmp/kelvalog-ports.XXXXXX)
"$sim" --ports "$ports" --com 1 --board 5v &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; rm -rf "$ports"' EXIT
for _ in $(seq 50); do [ -e "$ports/COM1" ] && break; sleep 0.1; done
echo "Board simulator on COM1 (I2C (5V) board). In Kelvalog choose the I2C (5V) board and go on line."
KELVALOG_PORTS=$ports "$app"
