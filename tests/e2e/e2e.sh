#!/usr/bin/env bash
# Vidrake as a user meets it, on a private X server: type a start address and a number, press
# Crawl, save the movie list through the menu and the file dialog, empty the list and open the
# saved one again, play the first movie, open and close the About window, and leave through
# File, Exit. Screenshots of every step are kept.
# The programs are installed from the build into a scratch prefix and run from there.
# Usage: e2e.sh BUILD_DIR EXPECTED_LIST SHOTS_DIR
# Exits 77 (skipped) only when there is no Xvfb or xdotool to run it with.
set -uo pipefail

build=$(realpath "$1") expected=$(realpath "$2") shots=$(realpath -m "$3")
wanted=8  # not the default 10, so that the typed number is seen to count

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
for tool in import convert compare; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool (imagemagick) is missing" >&2; exit 1; }
done

rm -rf "$shots"
mkdir -p "$shots"
work=$(mktemp -d "$shots/work.XXXXXX")
xvfb_pid= server_pid= app_pid=
cleanup() {
    local p
    for p in $app_pid $server_pid $xvfb_pid; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }
vidrake="$work/prefix/bin/vidrake" server="$work/prefix/bin/vidrake-sample-web"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
die() { echo "FAIL: $*" >&2; exit 1; }

# Polls `$@` every tenth of a second for up to $tenths tenths.
tenths=100
until_true() {
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# --- A private X server on a display it picks for itself, and our own server on 127.0.0.1.
unset XAUTHORITY WAYLAND_DISPLAY
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
has_display() { [ -s "$work/display" ]; }
until_true has_display || die "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"
export QT_QPA_PLATFORM=xcb

"$server" --port 0 --seconds 300 --parent-pid $$ >"$work/server.out" &
server_pid=$!
has_address() { [ -s "$work/server.out" ]; }
until_true has_address || die "the sample web server did not start"
start="$(head -n 1 "$work/server.out")index.html"

# --- The window.
# Started in the scratch directory, where its file dialogs open.
(cd "$work" && exec "$vidrake") >"$work/vidrake.log" 2>&1 &
app_pid=$!
find_main() { main=$(xdotool search --onlyvisible --pid "$app_pid" --name '^Vidrake$' | head -n 1); [ -n "$main" ]; }
tenths=300 until_true find_main || die "no Vidrake window: $(cat "$work/vidrake.log")"
eval "$(xdotool getwindowgeometry --shell "$main")"
# The client area is the bottom 632x351 of the window; the menu bar is what is above it.
[ "$WIDTH" -eq 632 ] || fail "the window is $WIDTH wide, not 632"
left=$X top=$((Y + HEIGHT - 351))
echo "window $main at ${X},${Y} ${WIDTH}x${HEIGHT}; client from y=$top"

# The main window as it is on the screen now, into file $1.
grab() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"; }
shot_no=0
# Keeps a screenshot as $shots/NN-name.png (of window $2, else the main window) in $shot.
shot() {
    shot_no=$((shot_no + 1))
    shot=$(printf '%s/%02d-%s.png' "$shots" "$shot_no" "$1")
    if [ $# -gt 1 ]; then import -window "$2" "$shot"; else grab "$shot"; fi ||
        fail "no screenshot $shot"
    echo "screenshot: $shot"
}
# The part of window screenshot $1 at client coordinates x y w h, into $work/$6.png.
crop() { convert "$1" -crop "$4x$5+$2+$(($3 + HEIGHT - 351))" +repage "$work/$6.png"; }
colours() { convert "$1" -format %k info:; }
# No window manager here to hand over the keyboard: give it to the window ourselves.
focus() { xdotool windowfocus --sync "$1"; }
click() { xdotool mousemove --sync $((left + $1)) $((top + $2)) click 1; }

focus "$main"
shot start
crop "$shot" 336 80 289 264 list-before

# --- Start address in Text1, number in Text4, then Crawl with the mouse.
click 150 12
xdotool key ctrl+a
xdotool type --delay 15 "$start"
click 490 12
xdotool key ctrl+a
xdotool type --delay 15 "$wanted"
shot typed
click 576 16

# The walk is over when the window stops changing.
same_for=0
last=
crawl_settled() {
    sleep 0.4
    grab "$work/now.png"
    if [ -n "$last" ] && compare -metric AE "$last" "$work/now.png" null: 2>/dev/null; then
        same_for=$((same_for + 1))
    else
        same_for=0
    fi
    cp "$work/now.png" "$work/last.png"
    last="$work/last.png"
    [ "$same_for" -ge 5 ]
}
tenths=150 until_true crawl_settled || fail "the window kept changing for a minute after Crawl"
shot crawled
crop "$shot" 336 80 289 264 list-after
compare -metric AE "$work/list-before.png" "$work/list-after.png" null: 2>/dev/null &&
    fail "the movie list looks the same after the crawl"

# --- File, Save Play List, and a name typed into the file dialog.
saved="$work/saved list.m3u"
xdotool key alt+f
sleep 0.3
xdotool key s
find_dialog() {
    dialog=$(xdotool search --onlyvisible --pid "$app_pid" --name . | grep -vx "$main" | head -n 1)
    [ -n "$dialog" ]
}
if tenths=100 until_true find_dialog; then
    focus "$dialog"
    shot save-dialog "$dialog"
    # The file-name box has the focus when the dialog opens.
    xdotool key ctrl+a
    xdotool type --delay 10 "$saved"
    xdotool key Return
    is_saved() { [ -s "$saved" ] && ! xdotool search --onlyvisible --pid "$app_pid" --name . | grep -qvx "$main"; }
    if tenths=100 until_true is_saved; then
        mapfile -t got < <(grep -oE '(http)\S+\.(avi|mpg|wmv)' "$saved")
        mapfile -t want < <(head -n "$wanted" "$expected" | sed "s|^|${start%index.html}movies/|")
        [ "${got[*]}" == "${want[*]}" ] ||
            fail "the saved list holds: ${got[*]:-nothing}; wanted: ${want[*]}"
        printf '%s\r\n' "${want[@]}" | cmp -s - "$saved" ||
            fail "the saved list is not one CR LF line per movie and nothing else"
        cp "$saved" "$shots/saved-play-list.txt"
        # Another player takes the file as a play list and plays its first entry.
        if command -v mpv >/dev/null; then
            timeout 60 mpv --no-config --quiet --vo=null --ao=null --frames=3 \
                --term-playing-msg='PLAYING ${path} ${video-format}' --playlist="$saved" \
                </dev/null >"$work/peer.log" 2>&1
            first=$(grep -m1 '^PLAYING ' "$work/peer.log")
            # A video format after the address: the picture was decoded, not just the file read.
            [[ "$first" == "PLAYING ${want[0]} "?* ]] ||
                fail "mpv did not play the list's first movie: $(head -c 600 "$work/peer.log")"
        else
            fail "mpv is not installed to open the saved play list"
        fi
    else
        fail "Save Play List wrote no file at $saved"
    fi
else
    fail "File, Save Play List opened no dialog"
fi
focus "$main"

# --- File, NewList empties the list; File, Open Play List brings the saved one back.
same_list() { grab "$work/list.png"; crop "$work/list.png" 336 80 289 264 list-now
              compare -metric AE "$work/list-now.png" "$work/$1.png" null: 2>/dev/null; }
xdotool key alt+f
sleep 0.3
xdotool key n
tenths=50 until_true same_list list-before || fail "File, NewList left movies in the list"
xdotool key alt+f
sleep 0.3
xdotool key o
if tenths=100 until_true find_dialog; then
    focus "$dialog"
    xdotool key ctrl+a
    xdotool type --delay 10 "$saved"
    xdotool key Return
    focus "$main"
    tenths=100 until_true same_list list-after ||
        fail "the list opened from $saved does not look like the list that was saved"
else
    fail "File, Open Play List opened no dialog"
fi
focus "$main"

# --- The first movie, clicked in the list, shows a picture in the player.
click 400 88
# The clip is short: the first frame with a picture in it is kept. Only the upper part of the
# player is looked at, where the picture is and the player's own controls are not.
playing() {
    grab "$work/playing.png"
    crop "$work/playing.png" 8 32 320 200 player
    [ "$(colours "$work/player.png")" -ge 64 ]
}
tenths=100 until_true playing ||
    fail "the player shows $(colours "$work/player.png") colours, not a picture"
shot playing
cp "$work/playing.png" "$shot"

# --- About, by the keyboard; Escape closes it.
focus "$main"
xdotool key alt+f
sleep 0.3
xdotool key a
find_about() { about=$(xdotool search --onlyvisible --name '^About Vidrake$' | head -n 1); [ -n "$about" ]; }
if tenths=100 until_true find_about; then
    focus "$about"
    shot about "$about"
    xdotool key Escape
    about_gone() { ! find_about; }
    tenths=100 until_true about_gone || fail "Escape did not close the About window"
else
    fail "File, About opened no window titled 'About Vidrake'"
fi

# --- File, Exit ends the program.
focus "$main"
shot before-exit
xdotool key alt+f
sleep 0.3
xdotool key e
app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
if tenths=150 until_true app_ended; then
    wait "$app_pid"
    status=$?
    app_pid=
    [ "$status" -eq 0 ] || fail "Vidrake ended with status $status"
else
    fail "File, Exit did not end Vidrake"
fi

echo "screenshots are in $shots"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "e2e: all checks passed"
