#!/usr/bin/env bash
# The Debian package that cpack makes from this build: what it holds, its control fields, what
# lintian says, and its programs run from where `dpkg -x` unpacked them: the crawler crawls the
# packaged sample web, and the window opens on a private X server and closes through File, Exit.
# Nothing is installed into the system.
# Usage: package_test.sh BUILD_DIR PROJECT_VERSION WORK_DIR
# Exits 77 (skipped) when a tool it needs is missing.
set -uo pipefail

build=$1 version=$2
for tool in dpkg-deb lintian Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/deps.sh installs it)"; exit 77; }
done
work=$(mktemp -d "$3/package.XXXXXX")
pids=
cleanup() {
    local p
    for p in $pids; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
die() { echo "FAIL: $*" >&2; exit 1; }
# Polls `$@` every tenth of a second for up to 30 seconds.
until_true() {
    for _ in $(seq 300); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; die "cpack"; }
deb="$work/vidrake_${version}_amd64.deb"
[ -f "$deb" ] || die "cpack made no $(basename "$deb")"

# --- What it holds: everything under /usr.
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/contents"
for f in bin/vidrake bin/vidrake-crawl bin/vidrake-sample-web share/applications/vidrake.desktop \
    share/icons/hicolor/48x48/apps/vidrake.png share/metainfo/io.github.vidrake.Vidrake.metainfo.xml \
    share/man/man1/vidrake.1.gz share/man/man1/vidrake-crawl.1.gz share/man/man1/vidrake-sample-web.1.gz \
    share/doc/vidrake/copyright share/doc/vidrake/changelog.gz share/vidrake/sample-web/index.html; do
    grep -qx "\./usr/$f" "$work/contents" || fail "the package lacks /usr/$f"
done
grep -v '^\./$\|^\./usr/' "$work/contents" && fail "files outside /usr"

# --- Control fields. Depends comes from the libraries the programs load; mpv the program is none.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Version)" == "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" == amd64 ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for lib in libc6 libmpv2 libqt6widgets6 libre2; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
sed 's/,/\n/g; s/|/\n/g' <<<"$depends" | grep -qE '^ *mpv( |$)' && fail "Depends names mpv: $depends"

# --- lintian: no errors.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
cat "$work/lintian.txt"
grep -q '^E:' "$work/lintian.txt" && fail "lintian reports errors"

# --- The unpacked programs: the crawler crawls the packaged sample web.
dpkg -x "$deb" "$work/root"
bin="$work/root/usr/bin"
"$bin/vidrake-sample-web" --port 0 --seconds 120 --parent-pid $$ >"$work/server.out" &
pids+=" $!"
has_address() { [ -s "$work/server.out" ]; }
until_true has_address || die "the packaged sample web server did not start"
base=$(head -n 1 "$work/server.out")
"$bin/vidrake-crawl" -n 10 "${base}index.html" >"$work/list" 2>"$work/crawl.err" ||
    fail "vidrake-crawl: $(cat "$work/crawl.err")"
[ -s "$work/list" ] || fail "vidrake-crawl found no movie in the packaged sample web"
grep -v "^${base}movies/" "$work/list" && fail "vidrake-crawl listed addresses outside the sample web"

# --- The window opens on a private X server, and File, Exit closes it.
unset XAUTHORITY WAYLAND_DISPLAY
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=" $!"
has_display() { [ -s "$work/display" ]; }
until_true has_display || die "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb
"$bin/vidrake" >"$work/vidrake.log" 2>&1 &
app=$!
pids+=" $app"
main=$(timeout 30 xdotool search --sync --onlyvisible --pid "$app" --name '^Vidrake$' | head -n 1)
[ -n "$main" ] || die "no Vidrake window: $(cat "$work/vidrake.log")"
xdotool windowfocus --sync "$main" key alt+f
menu_open() { xdotool search --onlyvisible --pid "$app" --name . | grep -qvx "$main"; }
until_true menu_open || fail "Alt+F opened no menu"
xdotool key e
app_ended() { ! kill -0 "$app" 2>/dev/null; }
if until_true app_ended; then
    wait "$app" || fail "vidrake ended with status $?: $(cat "$work/vidrake.log")"
else
    fail "File, Exit did not end vidrake"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "package: all checks passed ($(stat -c %s "$deb") bytes)"
