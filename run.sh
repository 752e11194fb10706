#!/usr/bin/env bash
# Installs what is missing, builds into build/, starts the analyser simulator as COM1 in the
# demo folder demo/ and the program there. Close the program to stop both.
set -euo pipefail
cd "$(dirname "$0")"
. ./scripts_common.sh
install_missing
build
mkdir -p demo
cd demo
sim_pid=""
if [ -x ../build/simulator/analyser-sim ]; then
    ../build/simulator/analyser-sim --port 1 &
    sim_pid=$!
    trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e ports/COM1 ] && break; sleep 0.1; done
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting under Xvfb." >&2
    xvfb-run -a ../build/app/tessary
else
    ../build/app/tessary
fi
