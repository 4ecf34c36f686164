#!/usr/bin/env bash
# Vidrake as a user meets it, on a private X server: type a start address and a number, press
# Crawl, save the movie list through the menu and the file dialog, empty the list and open the
# saved one again, play the first movie, pause and play it through the desktop's media controls
# (playerctl), copy another's address through the list's menu, show it full screen and back,
# kill the player process and play on in a new one, save a movie from a slow server through the
# list's menu and the Downloads window, open About, leave through File, Exit while About stays
# open, and close About; then, under three palettes, the contrast of the window's text and the
# player's glyphs. Screenshots of every step are kept.
# The programs are installed from the build into a scratch prefix and run from there.
# Usage: e2e.sh BUILD_DIR EXPECTED_LIST SHOTS_DIR [WINDOW_MANAGER]
# With a window manager (openbox), the run also checks what the windows ask of it.
# Exits 77 (skipped) only when there is no Xvfb or xdotool to run it with.
set -uo pipefail

build=$(realpath "$1") expected=$(realpath "$2") shots=$(realpath -m "$3") wm=${4:-}
wanted=8  # not the default 10, so that the typed number is seen to count

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
for tool in import convert compare xprop xwininfo mpv dbus-daemon playerctl xclip $wm; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps.sh)" >&2; exit 1; }
done

source "$(dirname "$0")/e2e_lib.sh"
# Vidrake has a home of its own, besides the tools' one, which must stay empty.
home="$work/home"
mkdir -m 700 "$home"
export QT_QPA_PLATFORM=xcb
if [ -n "$wm" ]; then
    "$wm" >"$work/wm.log" 2>&1 &
    wm_pid=$!
    has_wm() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
    until_true has_wm || die "$wm did not start: $(cat "$work/wm.log")"
fi

# A session bus of the run's own, for the desktop's media controls; it starts no service on
# demand (an accessibility bus, a settings daemon).
printf '%s' '<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>' \
    '<policy context="default"><allow send_destination="*" eavesdrop="true"/>' \
    '<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>' >"$work/bus.conf"
dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=3 3>"$work/bus" 2>/dev/null &
bus_pid=$!
trap 'kill "$bus_pid" 2>/dev/null; cleanup' EXIT
has_bus() { [ "$(wc -l <"$work/bus")" -gt 0 ]; }
until_true has_bus || die "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")

# --- The window.
# Started in its home, where its file dialogs open.
(cd "$home" && HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_DATA_HOME="$home/.local/share" exec "$vidrake") >"$work/vidrake.log" 2>&1 &
app_pid=$!
find_main() { main=$(xdotool search --onlyvisible --pid "$app_pid" --name '^Vidrake$' | head -n 1); [ -n "$main" ]; }
secs=30 until_true find_main ||
    die "no Vidrake window: $(cat "$work/vidrake.log"); X server: $(xdotool getdisplaygeometry 2>&1)"
# Where window $1 is on the screen, inside any frame a window manager put around it.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /Width:/ {w = $NF} /Height:/ {h = $NF} END {print "X=" x, "Y=" y, "WIDTH=" w, "HEIGHT=" h}'
}
placed=$(geometry "$main")
eval "$placed"
# The client area is the bottom 632x351 of the window; the menu bar is what is above it.
[ "$WIDTH" -eq 632 ] || fail "the window is $WIDTH wide, not 632"
left=$X top=$((Y + HEIGHT - 351))
echo "window $main at ${X},${Y} ${WIDTH}x${HEIGHT}; client from y=$top"
# Asked of a window manager: no minimize or maximize (Motif hints: functions 8 and 16,
# buttons 32 and 64, none of them meant as "all but"), and a size that cannot change.
no_min_max() {
    set -- $(xprop -id "$1" _MOTIF_WM_HINTS | grep -o '0x[0-9a-f]*')
    (($# == 5 && ($1 & 3) == 3 && ($2 & 0x19) == 0 && ($3 & 0x61) == 0))
}
if [ -n "$wm" ]; then
    no_min_max "$main" || fail "the window asks for more: $(xprop -id "$main" _MOTIF_WM_HINTS)"
    [ "$(xprop -id "$main" WM_NORMAL_HINTS | grep -c "m size: 632 by $HEIGHT$")" -eq 2 ] ||
        fail "the window's size is not fixed: $(xprop -id "$main" WM_NORMAL_HINTS)"
    [ "$(xprop -id "$main" _NET_WM_ALLOWED_ACTIONS | grep -cE 'RESIZE|MAXIMIZE')" -eq 0 ] ||
        fail "$wm lets the window be resized or maximized"
fi

# Window $win (else the main window) as it is on the screen now, into file $1.
grab() {
    if [ -n "${win:-}" ]; then import -window "$win" "$1"
    else import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"; fi
}
# Grabs the window into $work/now.png; true once $1 grabs in a row have differed from the one
# before in no more than $2 pixels (a blinking text cursor), else in none.
same_for=0
steady() {
    grab "$work/new.png" || return 1
    local diff; diff=$(compare -metric AE "$work/now.png" "$work/new.png" null: 2>&1)
    if [ "$diff" -le "${2:-0}" ] 2>/dev/null; then same_for=$((same_for + 1)); else same_for=0; fi
    mv -f "$work/new.png" "$work/now.png"
    [ "$same_for" -ge "$1" ]
}
# Keeps a screenshot of window $2 (else the main window) once it has stopped changing.
shot() {
    local win=${2:-}
    secs=5 until_true steady 1 40 || fail "window ${win:-$main} kept changing"
    keep "$1"
}
# The part of the last main-window grab at client coordinates x y w h, into $work/$5.png.
region() { convert "$work/now.png" -crop "$3x$4+$1+$(($2 + HEIGHT - 351))" +repage "$work/$5.png"; }
list() { region 336 80 289 264 "$1"; }
same() { compare -metric AE "$work/$1.png" "$work/$2.png" null: 2>/dev/null; }
same_list() { grab "$work/now.png" && list list-now && same list-now "$1"; }
# A window manager hands the keyboard over when asked; without one, take it ourselves.
focus() {
    if [ -n "$wm" ]; then xdotool windowactivate --sync "$1"; else xdotool windowfocus --sync "$1"; fi
}
# Vidrake's visible windows other than the main window, those inside it (the picture) and About.
mine() {
    echo "$main" "${about:-}" | xargs -n1
    xwininfo -tree -id "$main" 2>/dev/null | awk '$1 ~ /^0x/ {print $1}' | xargs -rn1 printf '%d\n'
}
others() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -vxF -f <(mine); }
no_others() { ! others >/dev/null; }
# Opens File from the keyboard and, once its menu shows, picks the item underlined $1.
file_menu() {
    focus "$main"
    until_true no_others || fail "a window is still open: $(others | xargs -rn1 xdotool getwindowname)"
    xdotool key alt+f
    menu_shown() { menu=$(others | head -n 1); [ -n "$menu" ]; }
    until_true menu_shown || fail "alt+f opened no File menu"
    xdotool key "$1"
}
# Right-clicks the movie list's row at client y $1 until a menu shows: a click lost on a busy
# machine, or made while a dialog was still closing, is made again.
right_click() { xdotool mousemove --sync $((left + 400)) $((top + $1)) click 3 && secs=3 until_true menu_shown; }
find_dialog() { dialog=$(others | grep -vx "$menu" | head -n 1); [ -n "$dialog" ]; }
# Types $1 over the text of the box that has the focus.
retype() { xdotool key ctrl+a && xdotool type --delay 15 "$1"; }
# Picks File, item $1 and answers the file dialog it opens with $saved, once it has a
# screenshot named $2 if given. The file-name box has the focus when the dialog opens.
through_dialog() {
    file_menu "$1"
    until_true find_dialog || return 1
    focus "$dialog"
    [ -z "${2:-}" ] || shot "$2" "$dialog"
    retype "$saved" && xdotool key Return
}

# --- Painted: the window holds still and shows the empty light-grey movie list.
focus "$main"
painted() {
    steady 3 && list list-before && [ "$(convert "$work/list-before.png" -shave 3x3 \
        -format '%k %[hex:p{0,0}]' info:)" == "1 C0C0C0" ]
}
secs=60 until_true painted || die "the window never showed its empty light-grey list"
keep start

# --- Start address in Text1, number in Text4, then Crawl with the mouse.
click 150 12 && retype "$start"
click 490 12 && retype "$wanted"
click 576 16

# The walk is over when the list has changed and the window has held still for a while.
crawled() { steady 5 && list list-after && ! same list-before list-after; }
secs=60 until_true crawled || fail "the movie list did not change and settle after Crawl"
keep crawled

# --- File, Save Play List, and a name typed into the file dialog.
saved="$work/saved list.m3u"
is_saved() { [ -s "$saved" ] && ! find_dialog; }
if ! through_dialog s save-dialog; then
    fail "File, Save Play List opened no dialog"
elif ! until_true is_saved; then
    fail "Save Play List wrote no file at $saved"
else
    mapfile -t got < <(grep -oE '(http)\S+\.(avi|mpg|wmv)' "$saved")
    mapfile -t want < <(head -n "$wanted" "$expected" | sed "s|^|${start%index.html}movies/|")
    [ "${got[*]}" == "${want[*]}" ] || fail "the saved list holds: ${got[*]:-nothing}; wanted: ${want[*]}"
    "$work/prefix/bin/vidrake-crawl" -n "$wanted" -o "$work/crawled.m3u" "$start" &&
        cmp -s "$work/crawled.m3u" "$saved" || fail "vidrake-crawl -o wrote another file than Save for the same crawl"
    cp "$saved" "$shots/saved-play-list.txt"
    # Another player takes the file as a play list and plays its first entry; a video format
    # after the address means the picture was decoded, not just the file read.
    timeout 60 mpv --no-config --quiet --vo=null --ao=null --frames=3 \
        --term-playing-msg='PLAYING ${path} ${video-format}' --playlist="$saved" \
        </dev/null >"$work/peer.log" 2>&1
    [[ "$(grep -m1 '^PLAYING ' "$work/peer.log")" == "PLAYING ${want[0]} "?* ]] ||
        fail "mpv did not play the list's first movie: $(head -c 600 "$work/peer.log")"
fi

# --- File, NewList empties the list; File, Open Play List brings the saved one back.
file_menu n
secs=5 until_true same_list list-before || fail "File, NewList left movies in the list"
through_dialog o || fail "File, Open Play List opened no dialog"
focus "$main"
until_true same_list list-after || fail "the list opened from $saved does not look like the list that was saved"

# --- The first movie, clicked in the list, shows a picture in the player.
click 400 88
# The clip is short: the first frame with a picture in it is kept. Only the upper part of the
# player is looked at, where the picture is and the player's own controls are not.
playing() {
    grab "$work/now.png" && region 8 32 320 200 player && [ "$(colours "$work/player.png")" -ge 64 ]
}
until_true playing || fail "the player shows $(colours "$work/player.png") colours, not a picture"
keep playing

# --- The desktop's media controls pause and play the movie. A right click on another movie
# opens the list's menu, and plays nothing; its Copy Address puts that movie's address on the
# clipboard, as text and as a URL.
ctl() { playerctl --player=vidrake "$@" 2>&1; }
status_is() { [ "$(ctl status)" == "$1" ]; }
[ "$(ctl metadata xesam:url)" == "${want[0]:-}" ] || fail "playerctl sees $(ctl metadata xesam:url)"
ctl pause
until_true status_is Paused || fail "playerctl pause left the player $(ctl status)"
ctl position 0 && ctl play
until_true status_is Playing || fail "playerctl play left the player $(ctl status)"
if secs=30 until_true right_click 101; then
    shot list-menu root
    xdotool key c
    copied() { [ "$(xclip -o -selection clipboard 2>/dev/null)" == "${want[1]:-}" ]; }
    until_true copied || fail "Copy Address put $(xclip -o -selection clipboard 2>&1) on the clipboard"
    [ "$(xclip -o -selection clipboard -t text/uri-list 2>&1 | tr -d '\r')" == "${want[1]:-}" ] ||
        fail "Copy Address gave no URL: $(xclip -o -selection clipboard -t text/uri-list 2>&1)"
else
    fail "a right click on a movie opened no menu"
fi
xdotool mousemove --sync $((left + 168)) $((top + 130))  # so that the next rest there is a move

# --- A newcomer's look: the first play printed nothing of the media library's probing for
# hardware decoders, and an address cut off by the list shows whole in a tool tip (looked at in
# the shot).
probing=$(grep -iE 'cuda|cuvid|nvdec|vaapi|libva|vdpau|hwdec|cannot load' "$work/vidrake.log")
[ -z "$probing" ] || fail "playing printed hardware probing: $(head -n 3 <<<"$probing")"
tip_shown() { [ -n "$(others)" ]; }
# Rests the pointer at client x $1 y $2 until a tool tip shows, keeps it as $3, moves away.
tool_tip() {
    focus "$main"  # tool tips show over the active window only
    xdotool mousemove --sync $((left + $1)) $((top + $2))
    if until_true tip_shown; then shot "$3" root; else fail "no tool tip at $1,$2 ($3)"; fi
    xdotool mousemove --sync $((left + 168)) $((top + 130))
    until_true no_others || fail "the tool tip ($3) stayed"
}
tool_tip 400 101 list-tool-tip  # the second movie, tram-at-dusk.mpg, runs past the list

# --- A double click on the picture fills the screen with the player; Escape puts it back.
click 168 130 --repeat 2
full_screen() { full=$(others | head -n 1) && [ "$(geometry "$full")" == "X=0 Y=0 WIDTH=1024 HEIGHT=768" ]; }
if until_true full_screen; then
    # The play button pauses the movie, or plays it again if it has ended: either way the
    # picture shows, and it fills the screen but for the player's controls.
    focus "$full"
    xdotool mousemove --sync 16 756 click 1
    win=root
    picture_fills() { grab "$work/now.png" && convert "$work/now.png" -crop 1024x700+0+0 \
        +repage "$work/full.png" && [ "$(colours "$work/full.png")" -ge 64 ]; }
    until_true picture_fills || fail "full screen shows $(colours "$work/full.png") colours, not a picture"
    keep full-screen
    win=
    xdotool key Escape
    back() { ! full_screen && [ "$(geometry "$main")" == "$placed" ]; }
    until_true back || fail "after full screen the window is at $(geometry "$main"), not $placed"
else
    fail "a double click on the picture did not fill the screen: $(for w in $(others); do geometry "$w"; done)"
fi
# A click on the selected movie plays it again, in the player's place in the window.
click 400 88
until_true playing || fail "back from full screen, the player shows no picture"
# --- The player process killed mid-play leaves the window, which says so (looked at in the
# shot), and the next click plays in a new player process.
player_pid() { pgrep -P "$app_pid" -x vidrake-player; }
crashed=$(player_pid)
kill -SEGV "$crashed"
stopped() { ! playing && [ "$(player_pid)" != "$crashed" ]; }
until_true stopped || fail "the picture did not go when the player process died"
shot player-stopped
click 400 88
until_true playing || fail "after the player process died, the next click shows no picture"
[ -n "$(player_pid)" ] && [ "$(player_pid)" != "$crashed" ] || fail "no new player process"
# A refused address says why in a few words, cut short with "…", and in full in the status
# line's tool tip (looked at in the shots).
printf 'av://lavfi:testsrc\r\n' >"$work/refused.m3u"
saved="$work/refused.m3u" through_dialog o || fail "File, Open Play List opened no dialog"
click 400 88
shot refused
tool_tip 100 335 refused-tool-tip

# --- Save Movie As, through the list's menu and the real Save dialog, of a movie on a slow
# server: the Downloads window shows it coming (looked at in the shot), into NAME.part and not
# NAME, and then the whole movie stands under NAME, byte for byte what was served.
"$server" --port 0 --seconds 300 --parent-pid $$ --trickle 1024 >"$work/slow.out" &
slow_pid=$!
has_slow() { [ -s "$work/slow.out" ]; }
until_true has_slow || fail "the slow sample web did not start"
movie=apple-picking.avi kept="$work/saved movie.avi"
printf '%smovies/%s\r\n' "$(head -n 1 "$work/slow.out")" "$movie" >"$work/slow.m3u"
grab "$work/now.png" && list list-crawled
saved="$work/slow.m3u" through_dialog o || fail "File, Open Play List opened no dialog"
# The right click waits for the dialog to go and the list to show the play list.
loaded() { no_others && grab "$work/now.png" && list list-now && ! same list-now list-crawled; }
secs=30 until_true loaded || fail "the play list never showed in the list"
focus "$main"
find_downloads() { downloads=$(xdotool search --all --onlyvisible --pid "$app_pid" --name '^Downloads$' | head -n 1); [ -n "$downloads" ]; }
coming() { [ "$(stat -c %s "$kept.part" 2>/dev/null || echo 0)" -ge 8192 ] && [ ! -e "$kept" ]; }
whole() { [ -e "$kept" ] && [ ! -e "$kept.part" ]; }
if ! secs=30 until_true right_click 88; then
    fail "a right click on a movie opened no menu"
elif ! { xdotool key s && until_true find_dialog; }; then
    fail "Save Movie As opened no dialog"
else
    focus "$dialog"
    shot save-movie-dialog "$dialog"
    retype "$kept" && xdotool key Return
    if ! until_true find_downloads; then
        fail "no Downloads window opened"
    elif ! until_true coming; then
        fail "the movie did not come into $kept.part: $(ls -l "$work" | grep saved)"
    else
        win=$downloads grab "$work/now.png" && keep downloading
        secs=60 until_true whole || fail "the download did not end as $kept: $(ls -l "$work" | grep saved)"
        cmp -s "$kept" "$work/prefix/share/vidrake/sample-web/movies/$movie" ||
            fail "the saved movie is not the served one"
        shot downloaded "$downloads"
        focus "$downloads"
        xdotool key Escape
        until_true no_others || fail "Escape left the Downloads window open"
    fi
fi
kill "$slow_pid" 2>/dev/null

# --- About, by the keyboard; with it open, File, Exit closes the main window while the program
# runs on until About closes (that Exit ends the player process, the window's test checks).
file_menu a
find_about() { about=$(xdotool search --onlyvisible --name '^About Vidrake$' | head -n 1); [ -n "$about" ]; }
if until_true find_about; then
    focus "$about"
    shot about "$about"
    [ -z "$wm" ] || no_min_max "$about" || fail "About asks for more: $(xprop -id "$about" _MOTIF_WM_HINTS)"
    file_menu e
    main_gone() { ! xwininfo -id "$main" >/dev/null 2>&1; }
    until_true main_gone || fail "File, Exit left the main window open"
    kill -0 "$app_pid" 2>/dev/null || fail "Vidrake ended while About was still open"
    shot where-the-window-was
    focus "$about"
    xdotool key Escape
else
    fail "File, About opened no window titled 'About Vidrake'"
    file_menu e
fi
app_ends "closing About after File, Exit did not end Vidrake"
# Vidrake left nothing in its home: no settings, history or cache. Fontconfig keeps its cache
# of the system's fonts there when the system's own is stale and not writable; not ours.
left=$(cd "$home" && find . -mindepth 1 ! -path ./.cache ! -path './.cache/fontconfig*')
[ -z "$left" ] || fail "Vidrake wrote into its home: $(head <<<"$left")"
# --- Readable under the default, a dark and a high-contrast palette (once, without a manager).
[ -n "$wm" ] || source "$(dirname "$0")/palettes.sh"

echo "screenshots are in $shots"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "e2e: all checks passed"
