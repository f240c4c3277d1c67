#!/usr/bin/env bash
# README command 2: installs what is missing, builds, and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
cd "${BUILD_DIR:-$top/build}"
# No display is needed: the window tests draw offscreen.
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
