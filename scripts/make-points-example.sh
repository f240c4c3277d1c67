#!/usr/bin/env bash
# The survey walk of the README: the real program under a private X server
# (Xvfb, openbox) reads the probe simulator, takes positions from gpsd fed by
# gpsfake (tests/data/nmea/walk.nmea), marks five points, exports them and
# reads the files back; docs/points-window.png is its screenshot.
# Usage: scripts/make-points-example.sh [BUILD_DIR]   (default build/)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
FENWYD_GUI_SCRIPT=$top/tests/gui/survey_walk.py FENWYD_GUI_SHOTS=$top/docs \
    "$top/tests/gui/run-gui-test.sh" "$build/src/fenwyd8200" "$build/tools/probe-sim/probe-sim"
