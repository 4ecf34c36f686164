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

# A plain ground, no panel, no animations and no on-screen keyboard: what is not ground in
# weston's output is our window.
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
socket=vidrake-e2e
weston --backend=x11-backend.so --width=1000 --height=740 --socket=$socket \
    --config="$work/weston.ini" >"$work/weston.log" 2>&1 &
weston_pid=$!
grab() { import -window root "$work/now.png"; }
has_ground() {
    [ -S "$XDG_RUNTIME_DIR/$socket" ] && grab &&
        [ "$(convert "$work/now.png" -format '%[hex:p{500,370}]' info:)" == "${ground^^}" ]
}
secs=30 until_true has_ground || die "weston did not start: $(tail -n 20 "$work/weston.log")"

# --- Native Wayland, as chosen with QT_QPA_PLATFORM.
(unset DISPLAY && WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland exec "$vidrake") \
    >"$work/vidrake.log" 2>&1 &
app_pid=$!
# The window's box in weston's output, title bar and frame included: W H X Y. The pointer is
# parked in a corner that is left out.
box() {
    xdotool mousemove 999 739 && grab &&
        read -r W H X Y < <(convert "$work/now.png" -crop 990x730+0+0 +repage -trim \
            -format '%w %h %X %Y\n' info:) && X=${X#+} Y=${Y#+}
}
# True once the output has not changed over $1 grabs in a row.
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
secs=60 until_true mapped || die "no window 638 wide: ${W:-?}x${H:-?} $(cat "$work/vidrake.log")"
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
        xdotool mousemove --sync $((X + W - 40)) $((Y + 15)) click 1
    else
        xdotool mousemove --sync $((X + W / 2)) $((Y + 12)) click --repeat 2 --delay 80 1
    fi
    click 400 330
    secs=20 until_true back_in_place || fail "after $step the window is $W $H $X $Y, not $placed"
    keep "after-$step"
done

# File, clicked in the menu bar, then Exit from the keyboard once the menu shows.
cp "$work/now.png" "$work/menu-before.png"
xdotool mousemove --sync $((X + 23)) $((Y + 38)) click 1
menu_open() {
    alive && box && [ "$(compare -metric AE "$work/menu-before.png" "$work/now.png" null: 2>&1)" != 0 ]
}
until_true menu_open && keep file-menu || fail "alt+f opened no File menu"
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
