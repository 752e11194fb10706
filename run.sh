#!/usr/bin/env bash
# Installs what is missing, builds into build/, starts the analyser simulator as COM1 in the
# demo folder demo/ and the program there. Close the program to stop both.
#   ./run.sh --lan   the simulator on a loopback TCP socket instead, the program set to Ethernet
set -euo pipefail
cd "$(dirname "$0")"
lan=0
case "${1:-}" in
    "") ;;
    --lan) lan=1 ;;
    *) echo "usage: $0 [--lan]" >&2; exit 2 ;;
esac
. ./scripts_common.sh
install_missing
build
mkdir -p demo
cd demo

# Writes the [Ethernet] section of config.ini (lines end in CR LF, as the program writes them),
# leaving every other section as it is. Arguments: interface, host, TCP port.
set_lan_section() {
    : > config.ini.new
    if [ -f config.ini ]; then
        awk '{ line = $0; sub(/\r$/, "", line) }
             line ~ /^\[/ { skip = (line == "[Ethernet]") }
             !skip { printf "%s\r\n", line }' config.ini > config.ini.new
    fi
    printf '[Ethernet]\r\nInterface=%s\r\nHost=%s\r\nTcpPort=%s\r\n' "$1" "$2" "$3" >> config.ini.new
    mv config.ini.new config.ini
}

sim_pid=""
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true' EXIT
if [ "$lan" = 1 ]; then
    [ -x ../build/simulator/analyser-sim ] || { echo "No analyser simulator built." >&2; exit 1; }
    rm -f sim-tcp.out
    ../build/simulator/analyser-sim --tcp 0 > sim-tcp.out &
    sim_pid=$!
    port=""
    for _ in $(seq 50); do
        port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' sim-tcp.out 2>/dev/null | head -n 1)
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { echo "The analyser simulator did not report its TCP port." >&2; exit 1; }
    echo "Analyser simulator listening on 127.0.0.1:$port"
    set_lan_section 1 127.0.0.1 "$port"
elif [ -x ../build/simulator/analyser-sim ]; then
    # Back to the serial line when an earlier --lan run chose Ethernet.
    if [ -f config.ini ] && grep -q '^\[Ethernet\]' config.ini; then
        host=$(awk '{ sub(/\r$/, "") } /^\[/ { s = ($0 == "[Ethernet]") } s && /^Host=/ { sub(/^Host=/, ""); print }' config.ini)
        tcp=$(awk '{ sub(/\r$/, "") } /^\[/ { s = ($0 == "[Ethernet]") } s && /^TcpPort=/ { sub(/^TcpPort=/, ""); print }' config.ini)
        set_lan_section 0 "$host" "${tcp:-5025}"
    fi
    ../build/simulator/analyser-sim --port 1 &
    sim_pid=$!
    for _ in $(seq 50); do [ -e ports/COM1 ] && break; sleep 0.1; done
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting under Xvfb." >&2
    xvfb-run -a ../build/app/tessary
else
    ../build/app/tessary
fi
