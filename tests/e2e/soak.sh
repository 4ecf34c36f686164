#!/usr/bin/env bash
# Runs the end-to-end tests N times in a row on a busy machine, as a fresh one would meet them:
# two busy loops compete for the cores, and every run has its own home, caches and font cache.
# Prints "N passed, M failed"; the output of each failed run is kept in BUILD_DIR/soak/.
# Usage: soak.sh N [BUILD_DIR] [TEST_REGEX]   (defaults: build/ci, the end-to-end tests)
set -uo pipefail
runs=${1:?usage: soak.sh N [BUILD_DIR] [TEST_REGEX]}
build=$(realpath "${2:-$(dirname "$0")/../../build/ci}")
tests=${3:-^e2e}
out="$build/soak"
rm -rf "$out"
mkdir -p "$out"

busy=()
stop() { [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null; }
trap stop EXIT
for _ in 1 2; do
    (while :; do :; done) &
    busy+=($!)
done

passed=0 failed=0 started=$SECONDS
for ((i = 1; i <= runs; i++)); do
    fresh=$(mktemp -d)
    # fontconfig's own configuration, with its cache moved somewhere new: the fonts are scanned
    # afresh, as on a machine that has never drawn text.
    sed "s|<cachedir[^>]*>[^<]*</cachedir>||; s|>conf.d<|>/etc/fonts/conf.d<|; s|</fontconfig>|<cachedir>$fresh/fonts</cachedir></fontconfig>|" \
        /etc/fonts/fonts.conf >"$fresh/fonts.conf"
    if HOME="$fresh/home" XDG_CACHE_HOME="$fresh/cache" XDG_CONFIG_HOME="$fresh/config" \
        FONTCONFIG_FILE="$fresh/fonts.conf" MESA_SHADER_CACHE_DIR="$fresh/shaders" \
        ctest --test-dir "$build" -R "$tests" --output-on-failure >"$fresh/ctest.log" 2>&1; then
        passed=$((passed + 1))
        echo "run $i: passed ($((SECONDS - started)) s so far)"
    else
        failed=$((failed + 1))
        cp "$fresh/ctest.log" "$out/run-$i.log"
        echo "run $i: FAILED, see $out/run-$i.log"
    fi
    rm -rf "$fresh"
done
echo "soak: $((SECONDS - started)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
