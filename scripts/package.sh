#!/usr/bin/env bash
# Builds the Debian package (build-pkg/fenwyd8200_1.0.0_<arch>.deb).
# Install it with: sudo apt-get install ./build-pkg/fenwyd8200_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" dpkg-dev file
BUILD_DIR=$top/build-pkg BUILD_TYPE=Release "$top/scripts/build.sh" -DFENWYD_BUILD_TESTS=OFF
cd "$top/build-pkg"
cpack -G DEB
ls -1 "$top"/build-pkg/fenwyd8200_*.deb
