#!/usr/bin/env bash
# Installs every Debian package needed to build, test and benchmark the library
# and to run every command of the README (the GStreamer examples decode and
# encode H.264: gstreamer1.0-libav, gstreamer1.0-plugins-ugly's x264enc).
# Safe to run again: apt-get skips what is already installed.
#   --no-gl   only what the build without OpenGL needs (-DKELVO_WITH_GL=OFF)
set -euo pipefail

gl_packages=(
  libglfw3-dev libegl-dev libegl-mesa0 libgl1-mesa-dri libgl-dev libepoxy-dev xvfb xauth
)
packages=(
  cmake ninja-build g++ pkg-config
  libyuv-dev libpng-dev zlib1g-dev rapidjson-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg fonts-dejavu-core
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-libav gstreamer1.0-plugins-ugly
  clang libclang-rt-14-dev
)

[ "${1:-}" = "--no-gl" ] || packages+=("${gl_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
