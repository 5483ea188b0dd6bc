#!/usr/bin/env bash
# Builds the GL-free library for WebAssembly with Debian's emscripten and
# lays out the npm package in build-web/package/ (not published).
#   scripts/build-web.sh             the package (SIMD128 and plain builds)
#   scripts/build-web.sh --threads   also kelvo-simd-mt, for cross-origin isolated pages
#   scripts/build-web.sh --tests     also kelvo_test_checkasm for node
#                                    (build-web/<simd|plain>/lib/web/kelvo_test_checkasm.js)
# Needs `scripts/install-deps.sh --web` (emscripten, node, the Debian sources
# of libyuv, libpng and zlib in build-web/src). Reuses its folders: a second
# run rebuilds what changed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-web
tests=0 threads=0
for arg in "$@"; do
  case $arg in
    --tests) tests=1 ;;
    --threads) threads=1 ;;
    *) echo "usage: $0 [--tests] [--threads]" >&2; exit 2 ;;
  esac
done
command -v emcc >/dev/null || { echo "emcc missing: scripts/install-deps.sh --web" >&2; exit 1; }
# Debian's emscripten finds its acorn in Debian's node folder; a node from
# elsewhere does not look there.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
jobs=${KELVO_WEB_JOBS:-2}

source_of() {
  local d
  d=$(compgen -G "$out/src/$1-*/" | head -n1) || true
  [ -n "$d" ] || { echo "no $1 source in $out/src: scripts/install-deps.sh --web" >&2; exit 1; }
  echo "${d%/}"
}

# build_lib <name> <flags> <include dir> <sources...>: a static library in
# <variant>/deps/lib, compiled once.
build_lib() {
  local name=$1 flags=$2 inc=$3 lib=$deps/lib/lib$1.a
  shift 3
  [ -f "$lib" ] && return
  local objs=() o
  mkdir -p "$deps/obj/$name" "$deps/lib"
  for s in "$@"; do
    o=$deps/obj/$name/$(basename "${s%.*}").o
    objs+=("$o")
    echo "$s -> $o"
  done | xargs -P "$jobs" -L1 sh -c 'emcc -O3 '"$flags"' -I'"$inc"' -w -c "$0" -o "$2"'
  for s in "$@"; do objs+=("$deps/obj/$name/$(basename "${s%.*}").o"); done
  emar rcs "$lib" "${objs[@]}"
}

# build_variant <folder> <SIMD ON|OFF> [THREADS ON|OFF]
build_variant() {
  local dir=$out/$1 simd=$2 threads=${3:-OFF}
  deps=$dir/deps
  local simd_flag=""
  [ "$simd" = ON ] && simd_flag=-msimd128
  # The row harness runs on the one-thread builds (the rows are the same).
  local with_tests=$tests
  [ "$threads" = ON ] && simd_flag+=" -pthread" with_tests=0
  local z png yuv
  z=$(source_of zlib) png=$(source_of libpng1.6) yuv=$(source_of libyuv)
  mkdir -p "$deps/include"
  cp "$z/zlib.h" "$z/zconf.h" "$deps/include/"
  build_lib z "$simd_flag" "$z" \
    "$z"/{adler32,compress,crc32,deflate,gzclose,gzlib,gzread,gzwrite,infback,inffast,inflate,inftrees,trees,uncompr,zutil}.c
  [ -f "$png/pnglibconf.h" ] || cp "$png/scripts/pnglibconf.h.prebuilt" "$png/pnglibconf.h"
  cp "$png/png.h" "$png/pngconf.h" "$png/pnglibconf.h" "$deps/include/"
  build_lib png "$simd_flag -I$deps/include" "$png" \
    "$png"/{png,pngerror,pngget,pngmem,pngpread,pngread,pngrio,pngrtran,pngrutil,pngset,pngtrans,pngwio,pngwrite,pngwtran,pngwutil}.c
  # libyuv's C rows: no row of its own is compiled for WebAssembly.
  build_lib yuv "$simd_flag -std=c++17" "$yuv/include" "$yuv"/source/*.cc
  cp -r "$yuv/include/libyuv.h" "$yuv/include/libyuv" "$deps/include/"
  # Header-only; copied so that no host include folder reaches the compiler.
  cp -r /usr/include/rapidjson "$deps/include/"

  local test_args=(-DKELVO_BUILD_TESTS=OFF)
  if ((with_tests)); then
    test_args=(-DKELVO_BUILD_TESTS=OFF -DKELVO_WASM_CHECKASM=ON -DGTest_DIR="$deps/gtest/lib/cmake/GTest")
    if [ ! -f "$deps/gtest/lib/libgtest.a" ]; then
      emcmake cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/gtest" \
        -DCMAKE_CXX_FLAGS="$simd_flag -fwasm-exceptions" -Dgtest_disable_pthreads=ON >/dev/null
      cmake --build "$deps/gtest-build" -j "$jobs" >/dev/null
      cmake --install "$deps/gtest-build" >/dev/null
    fi
  fi
  cmake -S "$root" -B "$dir/lib" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/emscripten.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKELVO_WASM_SIMD="$simd" -DKELVO_WASM_THREADS="$threads" \
    -DKELVO_WITH_GL=OFF -DKELVO_BUILD_BENCH=OFF -DKELVO_WERROR=ON "${test_args[@]}" \
    -DPNG_PNG_INCLUDE_DIR="$deps/include" -DPNG_LIBRARY="$deps/lib/libpng.a" \
    -DZLIB_INCLUDE_DIR="$deps/include" -DZLIB_LIBRARY="$deps/lib/libz.a" \
    -DLIBYUV_INCLUDE_DIR="$deps/include" -DLIBYUV_LIBRARY="$deps/lib/libyuv.a" \
    -DRAPIDJSON_INCLUDE_DIR="$deps/include" >/dev/null
  local targets=(kelvo_web)
  ((with_tests)) && targets+=(kelvo_test_checkasm)
  cmake --build "$dir/lib" -j "$jobs" --target "${targets[@]}"
}

build_variant simd ON
build_variant plain OFF
((threads)) && build_variant simd-mt ON ON

# The package: the ES module, both builds' glue and .wasm, types, README.
pkg=$out/package
rm -rf "$pkg"
mkdir -p "$pkg/dist"
cp "$out"/simd/lib/web/kelvo-simd.{mjs,wasm} "$out"/plain/lib/web/kelvo-plain.{mjs,wasm} "$pkg/dist/"
((threads)) && cp "$out"/simd-mt/lib/web/kelvo-simd-mt.{mjs,wasm,worker.js} "$pkg/dist/"
cp "$root"/web/src/{index.mjs,index.d.ts,enhancer-worker.mjs} "$pkg/dist/"
cp "$root/web/package.json" "$root/web/README.md" "$pkg/"
# The demo page and the ten-line page of the README, served beside dist/ by
# web/serve.py (outside the package's "files").
cp -r "$root/web/demo" "$pkg/demo"
version=$(sed -n 's/^project(kelvo_video_process VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
sed -i "s/\"version\": \"[^\"]*\"/\"version\": \"$version\"/" "$pkg/package.json"
echo "package: $pkg"
