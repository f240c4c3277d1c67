#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# a while on a copy of its seed corpus (the committed corpus stays as it is).
# Usage: ./scripts/fuzz.sh [seconds-per-target]   (default 20)
# Exits non-zero when a target crashes; the reproducer is left in
# build-fuzz/crashes/<target>/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds-per-target]" >&2
    exit 2
fi

"$top/scripts/install-deps.sh" clang libclang-rt-14-dev

build=$top/build-fuzz
targets=(fuzz_reply fuzz_notes fuzz_config fuzz_text fuzz_data_file)
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFENWYD_FUZZ=ON -DFENWYD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

failed=0
for t in "${targets[@]}"; do
    work=$build/corpus-work/$t
    crashes=$build/crashes/$t
    log=$build/$t.log
    rm -rf "$work" "$crashes"
    mkdir -p "$work" "$crashes"
    cp -R "$top/fuzz/corpus/$t/." "$work/"

    echo "== $t: ${seconds}s"
    rc=0
    "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$crashes/" "$work" >"$log" 2>&1 || rc=$?

    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    corpus=$(find "$work" -type f | wc -l)
    if [ "$rc" -eq 0 ]; then
        echo "   ok: ${execs:-?} executions, corpus ${corpus} inputs, no crash"
    else
        failed=1
        artifact=$(find "$crashes" -type f | head -n 1)
        reason=$(grep -m 1 -E 'ERROR:|runtime error:' "$log" || true)
        echo "   CRASH (exit $rc) after ${execs:-?} executions: ${reason:-see $log}"
        echo "   reproducer: ${artifact:-none}; rerun: $build/fuzz/$t ${artifact:-<file>}"
    fi
done

echo
echo "Logs: $build/<target>.log. For a longer run: ./scripts/fuzz.sh 600"
exit "$failed"
