#!/usr/bin/env bash
# `cmake --install` into a scratch DESTDIR: the programs, their manual pages, the desktop entry,
# the icon and the AppStream metadata land where desktops look, agree with each other and with
# the build, and pass the validators. (The package test holds the package to such an install.)
# Usage: install_test.sh BUILD_DIR PROJECT_VERSION FILE_VERSION WORK_DIR
set -uo pipefail

build=$1 version=$2 file_version=$3
work=$(mktemp -d "$4/install.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for tool in desktop-file-validate appstreamcli man; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

prefix=/usr
DESTDIR="$work" cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log" >&2; exit 1; }
root="$work$prefix"

desktop="$root/share/applications/vidrake.desktop"
icon="$root/share/icons/hicolor/48x48/apps/vidrake.png"
metainfo="$root/share/metainfo/io.github.vidrake.Vidrake.metainfo.xml"
for f in bin/vidrake bin/vidrake-crawl bin/vidrake-sample-web lib/vidrake/vidrake-player "${desktop#"$root/"}" "${icon#"$root/"}" \
    "${metainfo#"$root/"}" share/man/man1/{vidrake,vidrake-crawl,vidrake-sample-web}.1.gz \
    share/doc/vidrake/copyright share/doc/vidrake/changelog.gz share/vidrake/sample-web/index.html; do
    [ -f "$root/$f" ] || fail "$prefix/$f is not installed"
done
[ "$failures" -eq 0 ] || exit 1

# The crawler without a window must not need a window system, a session bus, OpenGL or the media
# library.
gui=$(readelf -d "$root/bin/vidrake-crawl" | grep NEEDED | grep -iE 'Widgets|Gui|OpenGL|libGL|mpv|DBus|libX')
[ -z "$gui" ] || fail "vidrake-crawl needs GUI libraries: $gui"
# The media library is the player process's alone; the player needs no GUI library either.
mpv=$(readelf -d "$root/bin/vidrake" | grep NEEDED | grep -i mpv)
[ -z "$mpv" ] || fail "vidrake needs the media library: $mpv"
gui=$(readelf -d "$root/lib/vidrake/vidrake-player" | grep NEEDED | grep -iE 'Qt|libGL')
[ -z "$gui" ] || fail "vidrake-player needs Qt or OpenGL: $gui"

for page in "$root"/share/man/man1/*.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns on $(basename "$page"): $warnings"
done

desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"

# The pieces must name each other.
key() { grep -m1 "^$1=" "$desktop" | cut -d= -f2-; }
[ -x "$root/bin/$(key Exec)" ] || fail "Exec=$(key Exec) is not an installed program"
[ "$(key Icon).png" == "$(basename "$icon")" ] || fail "Icon=$(key Icon) is not the installed icon"
[ "$(key X-Vidrake-FileVersion)" == "$file_version" ] ||
    fail "X-Vidrake-FileVersion=$(key X-Vidrake-FileVersion), the build says $file_version"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
    fail "the metadata does not launch $(basename "$desktop")"
grep -q "<id>$(basename "$metainfo" .metainfo.xml)</id>" "$metainfo" ||
    fail "the metadata's id is not its file name"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" ||
    fail "no dated release $version in the metadata"
[ "$(head -c 24 "$icon" | tail -c 8 | od -An -tx1 | tr -d ' \n')" == 0000003000000030 ] ||
    fail "the icon is not 48x48"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "install: all checks passed"
