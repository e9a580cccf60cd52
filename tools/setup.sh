#!/usr/bin/env bash
# Installs every Debian package that the build, the program and the tests use,
# and nothing else. Packages already present are skipped, so a second run
# costs nothing.
set -euo pipefail
packages=(
  # The build: compiler, CMake with Ninja, and pkg-config, which finds FFmpeg
  # for CMake.
  build-essential cmake ninja-build pkg-config
  # Qt 6 Widgets; the image format plugins let the program open TIFF, WebP,
  # TGA and other pictures as the object or the background.
  qt6-base-dev qt6-image-formats-plugins
  # FFmpeg's libraries, which write and read the movies.
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # libimagequant, which picks the colours of GIF frames that hold more than
  # 256.
  libimagequant-dev
  # libwebp's animation encoder writes animated WebP; webpinfo (webp) reads
  # the files back in the tests.
  libwebp-dev webp
  # The tests (GoogleTest) and the benchmarks (Google Benchmark).
  libgtest-dev libbenchmark-dev
  # Fonts: Liberation Sans stands for the layout's Arial (fontconfig aliases
  # it); DejaVu draws the characters beyond the Basic Multilingual Plane that
  # the tests type.
  fonts-liberation2 fonts-dejavu-core fontconfig
  # Independent readers for the tests: ffmpeg and ffprobe decode the movies
  # (the movie benchmark also writes with ffmpeg); ImageMagick's convert and
  # GraphicsMagick's gm read the PICT frames back.
  ffmpeg imagemagick graphicsmagick
  # gifsicle reads the delays and the loop of the GIFs back.
  gifsicle
  # An X server and a real keyboard for the test that holds a key down.
  xvfb xdotool
  # The install test runs the validators of the desktop entry
  # (desktop-file-validate) and of the AppStream metadata (appstreamcli).
  desktop-file-utils appstream
  # cpack's Debian package generator, which tools/test.sh runs, calls file;
  # the package is then checked with lintian, and its program's hardening
  # read with readelf (binutils).
  file lintian binutils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  # Through env, so the setting survives sudo, which clears the environment.
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
