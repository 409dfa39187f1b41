#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12.
# Runs apt-get only when a package is missing.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev
  xvfb xauth x11-apps imagemagick
  iproute2 procps
  mingw-w64 wine wine64 googletest
  dpkg-dev lintian desktop-file-utils
  openbox xdotool
  python3 file
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
