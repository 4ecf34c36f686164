# The window under three palettes a desktop may give it: the default, qt6ct's "darker" with
# Fusion, and a high-contrast white on black. Each time it crawls three movies, and the text of
# the boxes, the list and the labels must stand out 4.5:1 on its ground, the player's glyphs,
# its grooves and the boxes' borders 3:1. Sourced by e2e.sh, whose helpers it uses, once the
# main run is over; the palettes come through qt6ct's files in a configuration home of its own.
command -v qt6ct >/dev/null || die "qt6ct is missing (scripts/deps.sh)"

# The contrast of two "#RRGGBB" colours, as WCAG 2 measures it.
contrast_awk='
    function channel(h, at,   c) {
        c = (index(hex, substr(h, at, 1)) - 1) * 16 + index(hex, substr(h, at + 1, 1)) - 1
        c /= 255
        return c <= 0.04045 ? c / 12.92 : ((c + 0.055) / 1.055) ^ 2.4
    }
    function lum(h,   r, g, b) {
        r = channel(h, 2); g = channel(h, 4); b = channel(h, 6)
        return 0.2126 * r + 0.7152 * g + 0.0722 * b
    }
    function ratio(a, b) { a = lum(a) + 0.05; b = lum(b) + 0.05; return a > b ? a / b : b / a }
    BEGIN { hex = "0123456789ABCDEF" }'
# In the last grab's client area at x y w h: the commonest colour is the ground, the colour that
# stands out most on it the ink. Fails unless they reach $6:1, or when the ground is not $7.
measure() {
    local name=$1 min=$6 want=${7:-} got ground ink ratio
    got=$(convert "$work/now.png" -crop "$4x$5+$2+$(($3 + HEIGHT - 351))" +repage -alpha off \
        -depth 8 -format %c histogram:info:- | awk "$contrast_awk"'
        { n = $1 + 0; seen[$3] = 1 } n > most { most = n; ground = $3 }
        END { for (h in seen) if ((r = ratio(ground, h)) > best) { best = r; ink = h }
              printf "%s %s %.2f\n", ground, ink, best }')
    read -r ground ink ratio <<<"$got"
    echo "$palette: $name, $ink on $ground: $ratio:1"
    awk -v r="$ratio" -v m="$min" 'BEGIN { exit !(r >= m) }' ||
        fail "$palette: $name stands out $ratio:1 on its ground, not $min:1"
    [ -z "$want" ] || [ "$ground" == "#$want" ] || fail "$palette: $name on $ground, not #$want"
}

# The roles in qt6ct's order: window text, button, light, midlight, dark (the workspace), mid,
# text, bright text, button text, base, window, shadow, highlight, highlighted text, link,
# visited link, alternate base, none, tool tip base and text, placeholder text.
white=#ffffffff black=#ff000000
high_contrast="$white, $black, $white, $white, $black, #ff808080, $white, $white, $white, $black,"
high_contrast+=" $black, $black, #ff1aebff, $black, #ffffff00, #ffff00ff, $black, $white, $black,"
high_contrast+=" $white, #80ffffff"
for palette in default darker high-contrast; do
    config="$work/palette-$palette"
    mkdir -p "$config/qt6ct"
    case $palette in
        darker) scheme=/usr/share/qt6ct/colors/darker.conf workspace=302F2E ;;
        high-contrast)
            scheme="$config/high-contrast.conf" workspace=000000
            printf '[ColorScheme]\nactive_colors=%s\ninactive_colors=%s\ndisabled_colors=%s\n' \
                "$high_contrast" "$high_contrast" "$high_contrast" >"$scheme" ;;
        *) scheme= workspace= ;;
    esac
    printf '[Appearance]\ncolor_scheme_path=%s\ncustom_palette=true\nstyle=Fusion\n' "$scheme" \
        >"$config/qt6ct/qt6ct.conf"
    (cd "$home" && HOME="$home" XDG_CONFIG_HOME="$config" XDG_CACHE_HOME="$home/.cache" \
        XDG_DATA_HOME="$home/.local/share" QT_QPA_PLATFORMTHEME=${scheme:+qt6ct} exec "$vidrake") \
        >"$work/vidrake-$palette.log" 2>&1 &
    app_pid=$!
    secs=30 until_true find_main || die "$palette: no window: $(cat "$work/vidrake-$palette.log")"
    eval "$(geometry "$main")"
    left=$X top=$((Y + HEIGHT - 351))
    focus "$main"
    secs=60 until_true painted || die "$palette: the window never showed its empty light-grey list"
    click 150 12 && retype "$start"
    click 490 12 && retype 3
    click 576 16
    # The pointer rests on the ground between the player and the list, over no control.
    xdotool mousemove --sync $((left + 332)) $((top + 200))
    secs=60 until_true crawled || fail "$palette: the movie list did not change and settle"
    keep "palette-$palette"
    shown=$(convert "$work/now.png" -format "%[hex:p{332,$((200 + HEIGHT - 351))}]" info:)
    [ -z "$workspace" ] || [ "$shown" == "$workspace" ] ||
        fail "$palette: the workspace is #$shown, not #$workspace: the palette did not take"
    measure "the address" 60 4 300 17 4.5 C0C0C0
    measure "the movie list" 340 82 280 50 4.5 C0C0C0
    measure "the number" 476 4 30 17 4.5
    measure "URL:" 8 6 42 20 4.5
    measure "the caption" 336 32 281 17 4.5
    measure "the Crawl button" 548 9 56 16 4.5
    measure "the address box's border" 53 5 4 15 3
    measure "the number box's border" 512 5 4 15 3
    measure "the player's time" 10 304 30 20 4.5
    measure "the player's groove" 70 309 200 10 3
    measure "the play glyph" 12 326 26 18 3
    measure "the stop glyph" 40 326 20 18 3
    measure "the mute glyph" 212 326 24 18 3
    measure "the volume groove" 240 326 56 18 3
    measure "the full-screen glyph" 298 326 24 18 3
    kill "$app_pid" && wait "$app_pid" 2>/dev/null
    app_pid=
done
