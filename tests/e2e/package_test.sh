#!/usr/bin/env bash
# The Debian package that cpack makes from this build: it holds what `cmake --install` installs
# (which the install test checks, and the end-to-end test runs), under /usr only; its control
# fields; what lintian says; and the crawler, unpacked with dpkg -x, walking the packaged sample
# web. Nothing is installed into the system.
# Usage: package_test.sh BUILD_DIR PROJECT_VERSION WORK_DIR EXPECTED_CRAWL
# Exits 77 (skipped) when a tool it needs is missing.
set -uo pipefail

build=$1 version=$2 expected=$4
for tool in dpkg-deb lintian; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/deps.sh installs it)"; exit 77; }
done
work=$(mktemp -d "$3/package.XXXXXX")
trap 'kill %1 2>/dev/null; rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
die() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; die "cpack"; }
deb="$work/vidrake_${version}_amd64.deb"
[ -f "$deb" ] || die "cpack made no $(basename "$deb")"

# --- What it holds: what an install under /usr holds, and nothing else.
DESTDIR="$work/installed" cmake --install "$build" --prefix /usr >/dev/null || die "cmake --install"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort >"$work/packaged"
(cd "$work/installed" && find . ! -type d | sed 's|^\./|/|' | sort) >"$work/installed.list"
diff "$work/installed.list" "$work/packaged" >&2 || fail "the package is not the install"

# --- Control fields. Depends comes from the libraries the programs load; mpv the program is none.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Version)" == "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" == amd64 ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for lib in libc6 libmpv2 libseccomp2 libqt6widgets6 libqt6dbus6 libre2 libxss1; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
sed 's/,/\n/g; s/|/\n/g' <<<"$depends" | grep -qE '^ *mpv( |$)' && fail "Depends names mpv: $depends"

# --- Run from where dpkg -x put it: the sample web's server finds its pages beside itself.
dpkg-deb -x "$deb" "$work/unpacked" || die "dpkg-deb -x"
bin=$work/unpacked/usr/bin
"$bin/vidrake-sample-web" --port 0 --seconds 120 --parent-pid $$ >"$work/server.out" &
for _ in $(seq 100); do base=$(head -n 1 "$work/server.out"); [ -n "$base" ] && break; sleep 0.1; done
mapfile -t found < <("$bin/vidrake-crawl" -n 10 "${base}index.html" 2>/dev/null)
mapfile -t wanted < <(sed "s|^|${base}movies/|" "$expected")
[ "${found[*]}" == "${wanted[*]}" ] || fail "the unpacked crawler found: ${found[*]:-nothing}"

# --- lintian: no errors.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
cat "$work/lintian.txt"
grep -q '^E:' "$work/lintian.txt" && fail "lintian reports errors"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "package: all checks passed ($(stat -c %s "$deb") bytes)"
