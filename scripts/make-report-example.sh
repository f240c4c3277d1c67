#!/usr/bin/env bash
# Makes docs/report-example.pdf and the PNG of its first page: a 90-second
# survey against the probe simulator (tools/survey-example, the program's own
# logic on a pseudo-terminal, saved as the program saves a log), then
# fenwyd8200 --report on its data files.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake --build "$build" --target fenwyd8200 survey-example
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/survey-example/survey-example" "$work/fence.csv" "${SURVEY_SECONDS:-90}"
HOME=$work XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work XDG_CACHE_HOME=$work XDG_RUNTIME_DIR=$work \
LC_ALL=en_GB.UTF-8 "$build/src/fenwyd8200" --report "$work/fence.csv" \
    --output "$top/docs/report-example.pdf" --exposure icnirp2010-public --alarm 50 \
    --title "Substation 4, east fence line"
pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$top/docs/report-example.pdf" "$top/docs/report-example"
