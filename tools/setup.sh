#!/usr/bin/env bash
# Installs every Debian package that the build, the program and the tests need.
# Packages already present are skipped, so a second run costs nothing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-image-formats-plugins
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libgtest-dev libbenchmark-dev
  fonts-liberation2 fonts-urw-base35 fonts-dejavu-core fontconfig
  ffmpeg imagemagick graphicsmagick netpbm xvfb xauth xdotool
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
