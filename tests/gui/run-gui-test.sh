#!/usr/bin/env bash
# The GUI test: the real fenwyd8200 under a private X server (Xvfb) with a
# window manager (openbox) and a private session bus, driven through its
# accessibility tree (AT-SPI) by test_options_gui.py.
#
# Usage: run-gui-test.sh PATH/TO/fenwyd8200 PATH/TO/probe-sim
# FENWYD_GUI_SCRIPT=other.py runs another script in the same surroundings
# (the survey walk, the benchmark's screen-reader latency).
# Exit 77 (skipped) only when no display server can be started.
set -euo pipefail
program=$1
sim=$2
here=$(cd "$(dirname "$0")" && pwd)

# Debian's pyatspi belongs to the system's Python, which may not be the first
# python3 on the PATH.
python=""
for candidate in /usr/bin/python3 python3; do
    if command -v "$candidate" >/dev/null 2>&1 && "$candidate" -c 'import pyatspi' 2>/dev/null; then
        python=$candidate
        break
    fi
done
missing=()
[ -n "$python" ] || missing+=(python3-pyatspi)
command -v dbus-run-session >/dev/null 2>&1 || missing+=(dbus)
[ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi2-core)
if [ ${#missing[@]} -gt 0 ]; then
    echo "The GUI test needs: ${missing[*]} (./scripts/install-deps.sh installs them)" >&2
    exit 1
fi
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "SKIPPED: no display server can be started here (Xvfb is not installed)"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fenwyd-gui.XXXXXX")
# A home of its own for everything started from here (the window manager,
# the session bus, the program): the user's files stay untouched. The same
# folders as tests/support/home.cpp makes.
home=$work/home
mkdir -p "$home/config" "$home/data" "$home/cache"
mkdir -m 700 "$home/runtime"
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
    XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/runtime
pids=()
session=""
cleanup() {
    # The test's own session (bus, accessibility services, program,
    # simulators) is one process group.
    [ -n "$session" ] && kill -TERM -- "-$session" 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    # Whatever does not end within five seconds is killed.
    (sleep 5; [ -n "$session" ] && kill -KILL -- "-$session"; kill -KILL "${pids[@]}") \
        >/dev/null 2>&1 &
    local watchdog=$!
    for pid in $session "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    kill "$watchdog" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# Xvfb picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "${pids[0]}" 2>/dev/null || break
    sleep 0.1
done
if ! [ -s "$work/display" ]; then
    echo "SKIPPED: no display server can be started here (Xvfb: $(tail -n 1 "$work/xvfb.log"))"
    exit 77
fi
export DISPLAY=:$(head -n 1 "$work/display")

if command -v openbox >/dev/null 2>&1; then
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
fi

export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_ACCESSIBILITY=1
unset QT_QPA_PLATFORMTHEME XDG_CURRENT_DESKTOP  # Qt's own file dialog, not a desktop's
export FENWYD_GUI_WORK=$work

setsid dbus-run-session -- "$python" "${FENWYD_GUI_SCRIPT:-$here/test_options_gui.py}" "$program" "$sim" &
session=$!
rc=0
wait "$session" || rc=$?
session=""
exit "$rc"
