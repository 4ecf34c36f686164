# What the end-to-end scripts share, sourced after they have set build and shots: a scratch
# folder with the programs installed into it, polling, failures, screenshots, clicks, homes of
# their own, a private X server and the sample web on 127.0.0.1. A script sets the pids it
# starts (app_pid, wm_pid, weston_pid) so that the cleanup ends them.

rm -rf "$shots"
mkdir -p "$shots"
work=$(mktemp -d "$shots/work.XXXXXX")
xvfb_pid= wm_pid= weston_pid= server_pid= app_pid= runtime= failures=0
cleanup() {
    local p
    for p in $app_pid $server_pid $wm_pid $weston_pid $xvfb_pid; do kill "$p" && wait "$p"; done 2>/dev/null
    # A failed run keeps its logs and the last screen it grabbed.
    [ "$failures" -eq 0 ] || { cp "$work"/*.log "$shots"; cp "$work/now.png" "$shots/at-failure.png"; } 2>/dev/null
    rm -rf "$work" ${runtime:+"$runtime"}
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
die() { fail "$@"; exit 1; }

# Installed into a scratch prefix: the sample web serves its movies from there.
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    die "cmake --install: $(tail -n 20 "$work/install.log")"
vidrake="$work/prefix/bin/vidrake" server="$work/prefix/bin/vidrake-sample-web"

# Polls `$@`, a tenth of a second apart, until it is true or $secs seconds have passed.
secs=10
until_true() {
    local end=$((SECONDS + secs))
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# Keeps $work/now.png, the last grab, as $shots/NN-$1.png.
shot_no=0
keep() {
    shot_no=$((shot_no + 1))
    local shot; shot=$(printf '%s/%02d-%s.png' "$shots" "$shot_no" "$1")
    cp "$work/now.png" "$shot" && echo "screenshot: $shot"
}
# Clicks the main window at client x $1 y $2 (its client area starts at $left, $top).
click() { xdotool mousemove --sync $((left + $1)) $((top + $2)) click "${@:3}" 1; }
colours() { convert "$1" -format %k info:; }
# Vidrake ($app_pid) ends within 15 s with status 0; fails with $1 when it does not end.
app_ends() {
    app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
    if secs=15 until_true app_ended; then
        wait "$app_pid" || fail "Vidrake ended with status $?"
        app_pid=
    else
        fail "$1"
    fi
}

# Homes of their own, as on a fresh machine: nothing of the user's is read or written.
unset XAUTHORITY WAYLAND_DISPLAY XDG_STATE_HOME QT_QPA_PLATFORM XDG_SESSION_TYPE
# The runtime folder holds sockets (Wayland's, a session bus), whose whole path must fit in
# 108 bytes: it lives under /tmp, not in a build folder that may lie deep.
runtime=$(mktemp -d /tmp/vidrake-run.XXXXXX) || die "no runtime folder in /tmp"
export HOME="$work/tools" XDG_RUNTIME_DIR="$runtime"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
mkdir -m 700 "$HOME"

# A private X server on a display it picks for itself. -noreset: without it the server resets
# when the readiness probe disconnects, and the client started next (a window manager, weston)
# meets the reset ("Failed to open the display").
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
# The number is whole once its line has ended; the display is up once it answers.
has_display() {
    [ "$(wc -l <"$work/display")" -gt 0 ] &&
        DISPLAY=":$(head -n 1 "$work/display")" xdotool getdisplaygeometry
}
until_true has_display >/dev/null 2>&1 || die "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"

"$server" --port 0 --seconds 300 --parent-pid $$ >"$work/server.out" &
server_pid=$!
has_address() { [ -s "$work/server.out" ]; }
until_true has_address || die "the sample web server did not start"
start="$(head -n 1 "$work/server.out")index.html"
