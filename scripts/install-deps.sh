#!/usr/bin/env bash
# Installs the Debian packages Fenwyd 8200 needs to build, test and run.
# As root it installs what is missing; otherwise it prints the exact
# apt-get line and stops.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
          libqt6sql6-sqlite libsqlite3-dev libgtest-dev fonts-liberation
          # the GUI test: an X server, a window manager, a session bus, AT-SPI
          xvfb openbox dbus at-spi2-core python3-pyatspi
          # its screenshots for docs/ (FENWYD_GUI_SHOTS): ImageMagick's import
          imagemagick
          # the unattended logger: MQTT, and a broker and locales for its tests
          libmosquitto-dev mosquitto mosquitto-clients python3 locales
          # the graph: Qt Charts (whose CMake package needs Qt OpenGL's, which
          # Debian's qt6-charts-dev does not pull in) and Qt SVG for the export
          qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
          # positions: gpsd's client library, and gpsd with gpsfake for its tests
          libgps-dev gpsd gpsd-clients
          # the report's tests read the PDF back: pdftotext, pdfinfo, pdffonts
          poppler-utils
          "$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
    echo "Fenwyd 8200 needs these Debian packages. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
