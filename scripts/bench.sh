#!/usr/bin/env bash
# Builds a Release copy of Fenwyd 8200 into build-bench/ and prints the
# benchmark table. ./scripts/bench.sh [seconds]: length of the reading run
# (default 60).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=$top/build-bench
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFENWYD_BUILD_TESTS=OFF >/dev/null
# Build output to stderr: stdout is the table alone.
cmake --build "$build" -j"$(nproc)" --target fenwyd_bench fenwyd8200 probe-sim >&2
"$build/bench/fenwyd_bench" "$seconds"
