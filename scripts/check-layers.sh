#!/usr/bin/env bash
# Fails when a source folder includes a folder above it. The tiers, lowest
# first, and what each may include besides itself:
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A below=(
    [common]=""
    [link]="common"
    [measure]="common"
    [datalog]="common"
    [config]="common"
    [exposure]="common measure"
    [instrument]="common link measure datalog config exposure"
    [journal]="common link measure datalog config exposure instrument"
    [qt]="common link measure datalog config exposure instrument"
    [report]="common link measure datalog config exposure instrument"
    [ui]="common link measure datalog config exposure instrument journal qt report"
    [headless]="common link measure datalog config exposure instrument journal qt"
)

bad=0
for dir in src/*/; do
    tier=$(basename "$dir")
    if [ -z "${below[$tier]+set}" ]; then
        echo "src/$tier: a folder the tier list does not know; add it to $0" >&2
        bad=1
        continue
    fi
    while IFS=: read -r file line target; do
        inc=${target%%/*}
        [ "$inc" = "$tier" ] && continue
        [ -z "${below[$inc]+set}" ] && continue  # not one of our folders
        case " ${below[$tier]} " in
            *" $inc "*) ;;
            *) echo "$file:$line: $tier includes $inc (\"$target\"), a tier above or beside it" >&2
               bad=1 ;;
        esac
    done < <(grep -rnoE '^#include "[a-z_]+/[^"]+"' "$dir" | sed -E 's/#include "([^"]+)"/\1/')
done
[ "$bad" -eq 0 ] && echo "Layers: every include points down."
exit "$bad"
