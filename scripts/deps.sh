#!/usr/bin/env bash
# Installs the Debian 12 packages that Vidrake needs, when any is missing. Sourced by scripts/run,
# scripts/test and scripts/package: `vidrake_install_deps` brings what building and running
# need; `vidrake_install_deps test` adds what the tests, the benchmarks and packaging use.
set -euo pipefail

# Building and running: the compiler, Qt, RE2, libcurl, libmpv and libseccomp (the player
# process), an OpenGL driver for the desktop's own use, a font, and the X screen-saver
# extension's library.
VIDRAKE_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libre2-dev libcurl4-openssl-dev
  libmpv-dev libseccomp-dev libgl1-mesa-dri fonts-dejavu-core libxss-dev
)
# Testing and packaging: peers to compare with, checkers of the package and the installed files,
# a private X server with its tools, a window manager, a Wayland compositor with Qt's plugin for
# it, mpv to play a saved play list, a private session bus, the clipboard's and the media
# controls' command-line tools, and qt6ct to give the window a desktop's colour schemes.
VIDRAKE_TEST_PACKAGES=(
  curl wget wget2 openssl clang-format
  desktop-file-utils appstream
  dpkg-dev file lintian man-db
  xvfb xauth xdotool imagemagick x11-utils openbox weston qt6-wayland
  mpv dbus-daemon xclip playerctl qt6ct
)

vidrake_install_deps() {
  local wanted=("${VIDRAKE_PACKAGES[@]}")
  [ "${1:-}" != test ] || wanted+=("${VIDRAKE_TEST_PACKAGES[@]}")
  local missing=()
  local p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
