#!/usr/bin/env bash
# scripts/check-layers.sh against a small tree of its own: includes that
# point up, beside, or by a relative path must fail it; the real tree passes.
# Usage: test-check-layers.sh TOP   (TOP: the source tree holding the script)
set -uo pipefail
top=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/config" "$work/data" "$work/cache" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
    XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
check=$top/scripts/check-layers.sh
failed=0

# A tree with every tier and one source file in headless/.
tree=$work/tree
for tier in common link measure datalog config instrument journal qt ui headless; do
    mkdir -p "$tree/src/$tier"
    echo '#include "common/a.h"' >"$tree/src/$tier/a.h"
done
good='#include <QFile>
#include <sys/types.h>
#include "headless/records.h"
#include "instrument/instrument.h"
#include "qt/signal_watch.h"'

# expect OUTCOME LINE: the tree with LINE planted in src/headless/x.cpp.
expect() {
    local want=$1 planted=$2 out rc
    printf '%s\n%s\n' "$good" "$planted" >"$tree/src/headless/x.cpp"
    out=$("$check" "$tree" 2>&1)
    rc=$?
    if { [ "$want" = pass ] && [ "$rc" -ne 0 ]; } || { [ "$want" = fail ] && [ "$rc" -eq 0 ]; }; then
        echo "FAILED: expected $want for '$planted' (exit $rc): $out"
        failed=1
    elif [ "$want" = fail ] && ! grep -q 'src/headless/x.cpp:6:' <<<"$out"; then
        echo "FAILED: '$planted' refused without naming its file and line: $out"
        failed=1
    fi
}

expect pass ''
expect pass '#include "headless/outbox.h"'
expect fail '#include "../ui/main_window.h"'
expect fail '#include "./records.h"'
expect fail '#include "records.h"'
expect fail '#include "common/../ui/main_window.h"'
expect fail '#include "ui/main_window.h"'
expect fail '#include "journal/journal.h"'
expect fail '  #  include "ui/main_window.h"'
expect fail '#include <ui/main_window.h>'

# A folder the tier list does not know.
printf '%s\n' "$good" >"$tree/src/headless/x.cpp"
mkdir -p "$tree/src/gadgets"
if "$check" "$tree" >/dev/null 2>&1; then
    echo "FAILED: an unknown folder passed"
    failed=1
fi
rmdir "$tree/src/gadgets"

if ! "$check" "$top" >/dev/null; then
    echo "FAILED: the source tree itself does not pass"
    "$check" "$top"
    failed=1
fi
[ "$failed" -eq 0 ] && echo "check-layers: every planted include was caught"
exit "$failed"
