#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running, testing and packaging Vidrake need,
# when any is missing. Sourced by scripts/run, scripts/test and scripts/package.
set -euo pipefail

VIDRAKE_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libre2-dev libcurl4-openssl-dev
  libmpv-dev libqt6opengl6-dev libgl-dev libgl1-mesa-dri fonts-dejavu-core
  curl wget wget2 openssl
  desktop-file-utils appstream
  dpkg-dev file lintian man-db
  xvfb xauth xdotool imagemagick x11-utils openbox
  mpv
)

vidrake_install_deps() {
  local missing=()
  local p
  for p in "${VIDRAKE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
