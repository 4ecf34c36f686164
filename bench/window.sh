#!/usr/bin/env bash
# The window's weight, in one run on a private X server: the time from start to the window on
# the screen, the resident memory of the idle window and the peak while it plays the test clip,
# next to a plain Qt window with the same controls (bench_window_peer.cpp) and to mpv on the
# same clip. Also where the idle window's memory goes, by mapping.
# Usage: bench/window.sh [BUILD_DIR]   (default: build/release, built first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [ -z "${1:-}" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target vidrake vidrake-bench-window-peer >/dev/null
fi
for tool in Xvfb xdotool xev mpv; do
  command -v "$tool" >/dev/null || { echo "window.sh: $tool is missing" >&2; exit 1; }
done
clip=$PWD/tests/data/testsrc.avi
runs=9

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
unset WAYLAND_DISPLAY XAUTHORITY
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
until [ -s "$work/display" ]; do sleep 0.05; done
export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb
# A home of its own: nothing of the user's setup is read, and the run leaves nothing behind.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
  XDG_DATA_HOME=$work/home/.local/share XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The others keep their caches (Mesa's shaders, for one) in a home apart from the window's.
others=(env HOME="$work/others" XDG_CONFIG_HOME="$work/others" XDG_CACHE_HOME="$work/others"
  XDG_DATA_HOME="$work/others")

mib() { awk -v k="$2" '$1 == k":" { printf "%.0f", $2 / 1024 }' "/proc/$1/status"; }

# Starts "$@" and returns once it has a window on the screen: sets pid, win and ms, the time to
# the X server's report that the window was mapped.
start() {
  local t0 line
  coproc XEV { exec xev -root -event substructure; }
  sleep 0.2  # for xev to be listening
  t0=$(date +%s%N)
  "$@" >>"$work/programs.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  while read -r line <&"${XEV[0]}"; do
    [[ $line == MapNotify* ]] && break
  done
  ms=$((($(date +%s%N) - t0) / 1000000))
  kill "$XEV_PID" 2>/dev/null || true
  wait "$XEV_PID" 2>/dev/null || true
  win=
  until [ -n "$win" ]; do
    win=$(xdotool search --onlyvisible --pid "$pid" --name . 2>/dev/null | head -n 1) || true
    [ -n "$win" ] || sleep 0.01
  done
}
stop() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
# Whether the program has a window on the screen besides its main one (a dialog).
dialog_open() {
  local shown
  shown=$(xdotool search --onlyvisible --pid "$pid" --name . 2>/dev/null) || true
  grep -qvx "$win" <<<"$shown"
}
# "median (fastest)" of numbers on standard input.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] " (" v[1] ")" }'; }
# Largest resident size over the next $1 tenths of a second.
peak() {
  local most=0 now
  for _ in $(seq "$1"); do
    now=$(mib "$pid" VmRSS)
    [ "$now" -gt "$most" ] && most=$now
    sleep 0.1
  done
  echo "$most"
}

# --- Start-up time (median of $runs) and idle memory (two seconds after the window shows).
declare -A started idle
for name in vidrake peer mpv-paused; do
  times=()
  for _ in $(seq "$runs"); do
    case $name in
      vidrake) start "$build/app/vidrake" ;;
      peer) start "${others[@]}" "$build/bench/vidrake-bench-window-peer" ;;
      mpv-paused) start "${others[@]}" mpv --pause "$clip" ;;
    esac
    times+=("$ms")
    sleep 2
    idle[$name]=$(mib "$pid" VmRSS)
    if [ "$name" = vidrake ]; then
      awk '/^[0-9a-f]+-[0-9a-f]+ / { name = ($6 == "" ? "[anonymous]" : $6) }
           /^Rss:/ { rss[name] += $2 }
           END { for (n in rss) printf "%8.1f MiB  %s\n", rss[n] / 1024, n }' \
        "/proc/$pid/smaps" | sort -rn | sed -n '1,15p' >"$work/where"
    fi
    stop
  done
  started[$name]=$(printf '%s\n' "${times[@]}" | median)
done

# --- Playing the clip: the window opens it as a play list through File, Open and the dialog,
# then a click on the movie; mpv plays it and stays at its end.
printf '%s\r\n' "$clip" >"$work/clip.m3u"
start "$build/app/vidrake"
xdotool windowfocus --sync "$win"
xdotool key alt+f
sleep 0.3
xdotool key o
until dialog_open; do sleep 0.05; done
sleep 0.3
xdotool type --delay 5 "$work/clip.m3u"
xdotool key Return
while dialog_open; do sleep 0.05; done
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 376)) $((Y + HEIGHT - 351 + 88)) click 1
playing_vidrake=$(peak 50)
hwm_vidrake=$(mib "$pid" VmHWM)
stop
start "${others[@]}" mpv --keep-open=yes "$clip"
playing_mpv=$(peak 50)
hwm_mpv=$(mib "$pid" VmHWM)
stop

echo "Start to window shown, median (fastest) of $runs, in ms; resident memory in MiB;" \
  "$(nproc) cores, load $(cut -d ' ' -f 1 /proc/loadavg)"
printf '  %-34s %12s  idle %4s\n' "vidrake" "${started[vidrake]}" "${idle[vidrake]}"
printf '  %-34s %12s  idle %4s\n' "plain Qt window, same controls" "${started[peer]}" \
  "${idle[peer]}"
printf '  %-34s %12s  idle %4s\n' "mpv paused on the clip" "${started[mpv-paused]}" \
  "${idle[mpv-paused]}"
printf '  %-34s peak %4s  (VmHWM %s)\n' "vidrake playing the clip" "$playing_vidrake" \
  "$hwm_vidrake"
printf '  %-34s peak %4s  (VmHWM %s)\n' "mpv playing the clip" "$playing_mpv" "$hwm_mpv"
echo "Where the idle window's resident memory goes:"
cat "$work/where"
left=$(find "$HOME" -mindepth 1 | sed -n '1,5p')
[ -z "$left" ] || printf 'Written under the scratch home:\n%s\n' "$left"
