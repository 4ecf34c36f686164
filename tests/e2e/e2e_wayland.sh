#!/usr/bin/env bash
# Vidrake on a Wayland desktop: weston nested in a private X server. As a native Wayland client
# the window maps at its fixed size, crawls the sample web, plays a movie, outlives a click on
# the maximize button of Qt's own title bar and a double click on that title, and ends on
# File, Exit. With both displays there and no platform chosen, it goes through X instead.
# Screenshots of every step are kept.
# Usage: e2e_wayland.sh BUILD_DIR SHOTS_DIR
# Exits 77 (skipped) where weston, Qt's Wayland plugin, Xvfb or xdotool is not installed.
set -uo pipefail

build=$(realpath "$1") shots=$(realpath -m "$2")
for tool in weston Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/deps.sh)"; exit 77; }
done
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null ||
    { echo "SKIP: Qt's Wayland plugin is not installed (qt6-wayland, scripts/deps.sh)"; exit 77; }
for tool in import convert compare xprop; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps.sh)" >&2; exit 1; }
done

source "$(dirname "$0")/e2e_lib.sh"

# A plain ground, no panel, no animations and no on-screen keyboard.
ground=204060
cat >"$work/weston.ini" <<INI
[core]
idle-time=0
[shell]
background-color=0xff$ground
panel-position=none
locking=false
animation=none
close-animation=none
startup-animation=none
focus-animation=none
[input-method]
path=
INI
# A socket of this run's own, so that two runs at once never meet each other's compositor.
# --debug lets weston-debug read weston's own account of its surfaces (the scene graph).
socket=vidrake-e2e-$$
weston --debug --backend=x11-backend.so --width=1000 --height=740 --socket=$socket \
    --config="$work/weston.ini" >"$work/weston.log" 2>&1 &
weston_pid=$!
grab() { import -window root "$work/now.png"; }
# What weston shows, one line a view: ROLE|TITLE|X1 Y1 X2 Y2 in the output's pixels, which are
# the X screen's (weston's window sits at its top-left corner).
views() {
    WAYLAND_DISPLAY=$socket timeout 10 weston-debug scene-graph 2>/dev/null | awk '
        /^\tView / {
            role = $0; sub(/.*\(role /, "", role); sub(/,.*/, "", role)
            title = ""; if (match($0, /top-level window \047[^\047]*\047/))
                title = substr($0, RSTART + 18, RLENGTH - 19)
            next
        }
        role != "" && /position:/ { sub(/->/, " "); gsub(/[^0-9-]+/, " "); print role "|" title "|" $1 " " $2 " " $3 " " $4; role = "" }'
}
# For a failure message: every view weston has, and where the last screenshot is kept.
seen() { echo "weston shows: $(views | tr '\n' ';') (screenshot kept in $shots)"; }
# Moves the pointer to $1,$2 and waits until weston has it there: its cursor's view covers the
# place. Weston follows the X pointer only by the motions it is sent, and a move it missed
# (made before it was ready) leaves its pointer where it was while later moves to the same
# place send no motion; so each try comes in from outside weston's window.
cursor_covers() {
    views | awk -F'|' -v x="$1" -v y="$2" '$1 == "wl_pointer-cursor" { split($3, b, " ")
        if (b[1] <= x && x < b[3] && b[2] <= y && y < b[4]) found = 1 } END { exit !found }'
}
enter_at() { xdotool mousemove --sync 1010 750 mousemove --sync "$1" "$2" && secs=2 until_true cursor_covers "$1" "$2"; }
point() { secs=20 until_true enter_at "$1" "$2" || fail "weston's pointer never came to $1,$2; $(seen)"; }
# Clicks the main window at client x $1 y $2, as e2e_lib.sh's click does on X.
click() { point $((left + $1)) $((top + $2)) && xdotool click "${@:3}" 1; }
has_ground() { [ -S "$XDG_RUNTIME_DIR/$socket" ] && views | grep -q "^(null)|" && grab; }
secs=30 until_true has_ground || die "weston did not start: $(tail -n 20 "$work/weston.log")"

# --- Native Wayland, as chosen with QT_QPA_PLATFORM.
(unset DISPLAY && WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland exec "$vidrake") \
    >"$work/vidrake.log" 2>&1 &
app_pid=$!
# The window's box as weston places it, title bar and frame included: W H X Y; and a grab of
# the screen to go with it.
box() {
    local x1 y1 x2 y2
    read -r x1 y1 x2 y2 < <(views | sed -n 's/^xdg_toplevel|Vidrake|//p' | head -n 1) &&
        W=$((x2 - x1)) H=$((y2 - y1)) X=$x1 Y=$y1 && grab
}
# True once the screen has not changed over $1 grabs in a row.
same_for=0
steady() {
    cp -f "$work/now.png" "$work/before.png" 2>/dev/null
    box || return 1
    local diff; diff=$(compare -metric AE "$work/before.png" "$work/now.png" null: 2>&1)
    if [ "$diff" == 0 ]; then same_for=$((same_for + 1)); else same_for=0; fi
    [ "$same_for" -ge "$1" ]
}
alive() { kill -0 "$app_pid" 2>/dev/null || die "Vidrake ended: $(tail -n 5 "$work/vidrake.log")"; }
# Qt's title bar and frame: 3 pixels at the sides and the bottom, the title bar above the menu.
mapped() { alive && steady 3 && [ "$W" -eq 638 ]; }
secs=60 until_true mapped ||
    die "no window 638 wide: ${W:-?}x${H:-?} at ${X:-?},${Y:-?}; $(seen) $(cat "$work/vidrake.log")"
keep mapped
placed="$W $H $X $Y"
echo "window at $X,$Y, ${W}x$H"
left=$((X + 3)) top=$((Y + H - 3 - 351))
region() { convert "$work/now.png" -crop "$3x$4+$((left + $1))+$((top + $2))" +repage "$work/$5.png"; }
region 336 80 289 264 list-before

click 150 12 && xdotool type --delay 15 "$start"
click 490 12 && xdotool key ctrl+a && xdotool type "8"
click 576 16
crawled() {
    alive && steady 5 && region 336 80 289 264 list-after &&
        [ "$(compare -metric AE "$work/list-before.png" "$work/list-after.png" null: 2>&1)" != 0 ]
}
secs=60 until_true crawled || fail "the movie list did not change and settle after Crawl"
keep crawled

click 400 88
playing() { alive && box && region 8 32 320 200 player && [ "$(colours "$work/player.png")" -ge 64 ]; }
secs=30 until_true playing || fail "the player shows $(colours "$work/player.png") colours, not a picture"
keep playing

# The maximize button, second from the right, and a double click on the title. A maximized
# state once killed the connection at the next frame: a click into the movie list draws one.
back_in_place() { alive && steady 3 && [ "$W $H $X $Y" == "$placed" ]; }
for step in maximize title; do
    if [ $step == maximize ]; then
        point $((X + W - 40)) $((Y + 15)) && xdotool click 1
    else
        point $((X + W / 2)) $((Y + 12)) && xdotool click --repeat 2 --delay 80 1
    fi
    click 400 330
    secs=20 until_true back_in_place || fail "after $step the window is $W $H $X $Y, not $placed; $(seen)"
    keep "after-$step"
done

# File, clicked in the menu bar, then Exit from the keyboard once the menu shows.
point $((X + 23)) $((Y + 38)) && xdotool click 1
menu_open() { alive && views | grep -q '^xdg_popup|' && box; }
until_true menu_open && keep file-menu || fail "a click on File opened no menu; $(seen)"
xdotool key e
app_ends "File, Exit did not end Vidrake"

# --- Both displays there and no platform chosen, in a Wayland session (where Qt itself would
# pick Wayland): the window goes through X.
(XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=$socket exec "$vidrake") >"$work/vidrake-x.log" 2>&1 &
app_pid=$!
on_x() { win=$(xdotool search --onlyvisible --pid "$app_pid" --name '^Vidrake$' | head -n 1); [ -n "$win" ]; }
if secs=30 until_true on_x; then
    xprop -id "$win" WM_CLASS | grep -q vidrake || fail "the window on X is $(xprop -id "$win" WM_CLASS)"
    import -window root "$work/now.png" && keep both-displays-on-x
else
    fail "with both displays, no Vidrake window on X: $(cat "$work/vidrake-x.log")"
fi

echo "screenshots are in $shots"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "e2e_wayland: all checks passed"
