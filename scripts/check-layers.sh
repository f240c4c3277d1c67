#!/usr/bin/env bash
# Fails when a source folder includes a folder above or beside it, or names
# a header by a relative path ("../ui/x.h", "./x.h", "x.h"), which would slip
# past the folder check: every include of our own names its folder from src/.
# Usage: scripts/check-layers.sh [TOP]   (TOP: the tree to check; default this one)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The tiers, lowest first, and what each may include besides itself; the
# same as the table under "Layout of the source" in README.md.
declare -A below=(
    [common]=""
    [link]="common"
    [measure]="common position"
    [datalog]="common"
    [config]="common"
    [exposure]="common measure"
    [position]="common"
    [gpsd]="common position"
    [instrument]="common link measure datalog config exposure position"
    [journal]="common link measure datalog config exposure position instrument"
    [qt]="common link measure datalog config exposure position instrument"
    [report]="common link measure datalog config exposure position instrument"
    [ui]="common link measure datalog config exposure position gpsd instrument journal qt report"
    [headless]="common link measure datalog config exposure position gpsd instrument qt"
)

bad=0
for dir in src/*/; do
    tier=${dir%/}
    tier=${tier##*/}
    if [ -z "${below[$tier]+set}" ]; then
        echo "src/$tier: a folder the tier list does not know; add it to $0" >&2
        bad=1
    fi
done
# Every include line in a tier's folder, however spaced ("#  include"),
# quoted or bracketed, as file:line:mark:target (mark: " or <).
while IFS=: read -r file line mark target; do
    tier=${file#src/}
    tier=${tier%%/*}
    [ -z "${below[$tier]+set}" ] && continue  # said above
    inc=${target%%/*}
    if [[ "/$target/" == */../* || "/$target/" == */./* ]] ||
        { [ "$inc" = "$target" ] && [ "$mark" = '"' ]; }; then
        echo "$file:$line: relative include \"$target\"; name the folder from src/" >&2
        bad=1
        continue
    fi
    [ "$inc" = "$tier" ] && continue
    [ -z "${below[$inc]+set}" ] && continue  # not one of our folders (<QFile>, <sys/...>)
    case " ${below[$tier]} " in
        *" $inc "*) ;;
        *) echo "$file:$line: $tier includes $inc (\"$target\"), a tier above or beside it" >&2
           bad=1 ;;
    esac
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' src/*/ |
    sed -E 's/^([^:]*):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*(["<])([^">]*)[">].*/\1:\2:\3:\4/' || true)
[ "$bad" -eq 0 ] && echo "Layers: every include points down."
exit "$bad"
