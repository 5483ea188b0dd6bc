#!/usr/bin/env bash
# Installs every Debian package needed to build, test and benchmark the library
# and to run every command of the README (the GStreamer examples decode and
# encode H.264: gstreamer1.0-libav, gstreamer1.0-plugins-ugly's x264enc).
# Safe to run again: apt-get skips what is already installed.
#   --no-gl         only what the build without OpenGL needs (-DKELVO_WITH_GL=OFF)
#   --arm64-cross   also the aarch64 cross compiler, qemu-user and the arm64
#                   libraries (multiarch) for cmake/toolchains/aarch64-linux-gnu.cmake
#   --web           also emscripten, node and chromium, and the Debian sources
#                   of libyuv, libpng and zlib (into build-web/src, which
#                   scripts/build-web.sh compiles to WebAssembly)
set -euo pipefail

with_gl=1 arm64_cross=0 web=0
for arg in "$@"; do
  case $arg in
    --no-gl) with_gl=0 ;;
    --arm64-cross) arm64_cross=1 ;;
    --web) web=1 ;;
    *) echo "usage: $0 [--no-gl] [--arm64-cross] [--web]" >&2; exit 2 ;;
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

# Debian's emscripten (3.1.6) brings its own clang, lld and binaryen; dpkg-dev
# unpacks the source packages.
web_packages=(emscripten nodejs chromium dpkg-dev)
web_sources=(libyuv libpng1.6 zlib)

((with_gl)) && packages+=("${gl_packages[@]}")
((arm64_cross)) && packages+=("${arm64_packages[@]}")
((web)) && packages+=("${web_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null || missing+=("$p")
done

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

# The WebAssembly build compiles its dependencies from Debian's sources.
web_src="$(cd "$(dirname "$0")/.." && pwd)/build-web/src"
need_sources=0
if ((web)); then
  for s in "${web_sources[@]}"; do
    compgen -G "$web_src/$s-*/" >/dev/null || need_sources=1
  done
fi
[ ${#missing[@]} -eq 0 ] && ((!need_sources)) && exit 0

update=0
if ((need_sources)) && ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ &&
   ! grep -qs '^deb-src' /etc/apt/sources.list; then
  # The binary lists' own mirrors and suites, for sources.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    sed -n 's/^Types:.*\bdeb\b.*/Types: deb-src/p; /^Types:/!p' "$f"
    echo
  done | $sudo tee /etc/apt/sources.list.d/kelvo-web-src.sources >/dev/null
  update=1
fi
if ((arm64_cross)) && ! dpkg --print-foreign-architectures | grep -x arm64 >/dev/null; then
  $sudo dpkg --add-architecture arm64
fi
if [ ${#missing[@]} -gt 0 ] || ((update)); then
  $sudo apt-get update
fi
[ ${#missing[@]} -gt 0 ] && $sudo apt-get install -y --no-install-recommends "${missing[@]}"
if ((need_sources)); then
  mkdir -p "$web_src"
  # apt-get source unpacks each into <name>-<upstream version>/; the release
  # itself, as the security archive keeps no sources.
  (cd "$web_src" && apt-get source "${web_sources[@]/%//$(. /etc/os-release && echo "$VERSION_CODENAME")}" >/dev/null)
fi
exit 0
