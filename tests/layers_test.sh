#!/usr/bin/env bash
# Each library under src/ may include only the folders drawn below it in docs/ARCHITECTURE.md.
# A new arrow is a design decision: make it here and in the diagram together.
# Usage: layers_test.sh SOURCE_DIR
set -uo pipefail
cd "$1/src" || exit 1

declare -A allowed=(
    [files]=""
    [text]="files"
    [wire]=""
    [player]="wire"
    [net]="text"
    [platform]="text"
    [desktop]="platform"
    [media]="net wire"
    [session]="media"
    [support]="platform"
    [crawler]="text net platform support"
    [ui]="files text net platform desktop media session support crawler"
)
status=0
for dir in */; do
    lib=${dir%/}
    [[ -v allowed[$lib] ]] || { echo "FAIL: src/$lib is not in the layer table"; status=1; continue; }
    while IFS=: read -r file inc; do
        used=${inc#*\"}
        used=${used%%/*}
        [[ " $lib ${allowed[$lib]} " == *" $used "* ]] ||
            { echo "FAIL: src/$file includes $used/, which is not below $lib"; status=1; }
    done < <(grep -o '#include "[a-z_]*/' "$lib"/* /dev/null)
done
[ "$status" -ne 0 ] || echo "every include points down"
exit "$status"
