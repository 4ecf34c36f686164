#!/usr/bin/env bash
# What playing a movie costs: CPU seconds and resident memory of the window and every process it
# started (the player process), over 20 s of a 640x480 and of a 1280x720 clip that mpv encodes
# here (MPEG-4 in AVI, 25 frames a second), on a private X server. Run it on two builds to
# compare them, e.g. one of the commit before the player process and one after.
# Usage: bench/player.sh [BUILD_DIR]   (default: build/release, built first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [ -z "${1:-}" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target vidrake vidrake-player >/dev/null
fi
for tool in Xvfb xdotool mpv; do
  command -v "$tool" >/dev/null || { echo "player.sh: $tool is missing" >&2; exit 1; }
done
seconds=20

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
unset WAYLAND_DISPLAY XAUTHORITY
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=($!)
until [ -s "$work/display" ]; do sleep 0.05; done
export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
  XDG_DATA_HOME=$work/home/.local/share XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The window and its children, the player process among them.
family() { echo "$1"; pgrep -P "$1" || true; }
# User and system CPU seconds of the family, so far.
cpu() {
  local p total=0 ticks
  ticks=$(getconf CLK_TCK)
  for p in $(family "$1"); do
    total=$((total + $(awk '{ print $14 + $15 }' "/proc/$p/stat" 2>/dev/null || echo 0)))
  done
  awk -v t="$total" -v k="$ticks" 'BEGIN { printf "%.2f", t / k }'
}
rss() {
  local p total=0
  for p in $(family "$1"); do
    total=$((total + $(awk '$1 == "VmRSS:" { print $2 }' "/proc/$p/status" 2>/dev/null || echo 0)))
  done
  echo $((total / 1024))
}

echo "Playing ${seconds} s of each clip in $build; $(nproc) cores, load $(cut -d ' ' -f 1 /proc/loadavg)"
printf '  %-10s %12s %10s %10s\n' clip "CPU s" "RSS MiB" processes
for size in 640x480 1280x720; do
  clip=$work/clip-$size.avi
  mpv --no-config --really-quiet "av://lavfi:testsrc=size=$size:rate=25" --length=$((seconds + 10)) \
    --o="$clip" --ovc=mpeg4 --ovcopts=qscale=4 </dev/null
  printf '%s\r\n' "$clip" >"$work/clip.m3u"
  "$build/app/vidrake" >>"$work/vidrake.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  win=
  until [ -n "$win" ]; do
    win=$(xdotool search --onlyvisible --pid "$pid" --name '^Vidrake$' 2>/dev/null | head -n 1) || true
    sleep 0.1
  done
  # File, Open Play List, the clip's list typed into the dialog, then a click on the movie.
  xdotool windowfocus --sync "$win"
  xdotool key alt+f
  sleep 0.5
  xdotool key o
  sleep 1.5
  xdotool type --delay 5 "$work/clip.m3u"
  xdotool key Return
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + 376)) $((Y + HEIGHT - 351 + 88)) click 1
  sleep 2  # started, the first frames drawn
  before=$(cpu "$pid")
  sleep "$seconds"
  after=$(cpu "$pid")
  printf '  %-10s %12s %10s %10s\n' "$size" "$(awk -v a="$after" -v b="$before" 'BEGIN { printf "%.2f", a - b }')" \
    "$(rss "$pid")" "$(family "$pid" | wc -l)"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done
