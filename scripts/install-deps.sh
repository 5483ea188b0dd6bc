#!/usr/bin/env bash
# Installs every Debian package needed to build, test and benchmark the library
# and to run every command of the README (the GStreamer examples decode and
# encode H.264: gstreamer1.0-libav, gstreamer1.0-plugins-ugly's x264enc).
# Safe to run again: apt-get skips what is already installed.
#   --no-gl         only what the build without OpenGL needs (-DKELVO_WITH_GL=OFF)
#   --arm64-cross   also the aarch64 cross compiler, qemu-user and the arm64
#                   libraries (multiarch) for cmake/toolchains/aarch64-linux-gnu.cmake
set -euo pipefail

with_gl=1 arm64_cross=0
for arg in "$@"; do
  case $arg in
    --no-gl) with_gl=0 ;;
    --arm64-cross) arm64_cross=1 ;;
    *) echo "usage: $0 [--no-gl] [--arm64-cross]" >&2; exit 2 ;;
  esac
done

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
  libobs-dev libx11-dev
  clang libclang-rt-14-dev
  # the Python module (Debian's interpreter: /usr/bin/python3) and its tests
  python3-dev python3-numpy python3-pytest pybind11-dev
)

# The arm64 libraries the GL-free build links; headers are shared with amd64's
# (multiarch), rapidjson is header-only.
arm64_packages=(
  g++-aarch64-linux-gnu qemu-user
  libyuv-dev:arm64 libpng-dev:arm64 zlib1g-dev:arm64 libgtest-dev:arm64
)

((with_gl)) && packages+=("${gl_packages[@]}")
((arm64_cross)) && packages+=("${arm64_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ((arm64_cross)) && ! dpkg --print-foreign-architectures | grep -x arm64 >/dev/null; then
  $sudo dpkg --add-architecture arm64
fi
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
