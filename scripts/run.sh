#!/usr/bin/env bash
# README command 1: builds Fenwyd 8200 and starts it.
#
# With a USB serial adapter attached (/dev/ttyUSB*, /dev/ttyACM*) the program
# runs as installed for a real probe, with its files in run/. Otherwise, or
# with FENWYD_SIM=1, it runs against the bundled probe simulator: the
# simulator's pseudo-terminal is mapped to Comm2 in a private settings store
# under run/sim-config, so your own port mapping is left alone.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"

run=$top/run
mkdir -p "$run"
cp -f "$top/build/src/fenwyd8200" "$run/fenwyd8200"

probe=""
for dev in /dev/ttyUSB* /dev/ttyACM*; do [ -e "$dev" ] && probe=$dev && break; done
if [ -n "$probe" ] && [ "${FENWYD_SIM:-0}" != 1 ]; then
    echo "Serial adapter found at $probe: running for a real probe (map it to a Comm number"
    echo "with the Options button, see the README)."
    exec "$run/fenwyd8200"
fi

export XDG_CONFIG_HOME=$run/sim-config
# The simulator's readings go to a journal of their own, not to yours.
export XDG_DATA_HOME=$run/sim-data
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
link=$run/probe-tty
"$top/build/tools/probe-sim/probe-sim" --model "${FENWYD_SIM_MODEL:-E}" --link "$link" \
    ${FENWYD_SIM_ARGS:-} > "$run/probe-sim.out" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
printf '[Ports]\nComm2=%s\nBaudRate=9600\n' "$link" > "$XDG_CONFIG_HOME/Fenwyd 8200.conf"
# First run: a configuration file that picks Comm2, so no port question comes up.
[ -f "$run/Fenwyd8200.cfg" ] || printf ' 2 \r\nV/m\r\n%s\r\n15\r\n 30 \r\n' "$run" > "$run/Fenwyd8200.cfg"
echo "Probe simulator (model ${FENWYD_SIM_MODEL:-E}) on $link -> $(head -1 "$run/probe-sim.out" 2>/dev/null)"
"$run/fenwyd8200"
