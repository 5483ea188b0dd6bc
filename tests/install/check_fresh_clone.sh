#!/usr/bin/env bash
# The README's first steps as a newcomer takes them, on a fresh clone of the
# committed tree: scripts/run-demo.sh, then the README's block after it (the
# build of everything a user installs and the install into ~/.local, with
# $HOME a scratch folder), then the installed tool, element and host demo
# with the build folder moved away, so that nothing installed leans on it.
# A whole build of the library: minutes, so scripts/test.sh runs it once.
#   check_fresh_clone.sh [SOURCE_DIR]   (default: this script's repository)
set -euo pipefail
src=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_fresh_clone: $*" >&2; exit 1; }
step() { printf 'check_fresh_clone: %s (%ds)\n' "$1" "$SECONDS"; }

git clone --quiet --no-hardlinks "$src" "$work/clone"
cd "$work/clone"
export HOME=$work/home
mkdir "$HOME"

# Only what a user builds: the tests and benchmarks are configured out, which
# changes nothing run-demo.sh and the install block build.
cmake -S . -B build -G Ninja -DKELVO_BUILD_TESTS=OFF -DKELVO_BUILD_BENCH=OFF >/dev/null
step "scripts/run-demo.sh"
./scripts/run-demo.sh --no-progress >"$work/demo.log" 2>&1 || { cat "$work/demo.log" >&2; fail "run-demo.sh failed"; }
[ -s out/enhanced.y4m ] && [ -s out/snapshot.png ] || fail "the demo wrote no out/enhanced.y4m or out/snapshot.png"

# The README's command block right after the demo's is the install.
awk '/^    \.\/scripts\/run-demo\.sh$/ { demo = 1; next }
     demo && /^    / { print substr($0, 5); found = 1; next }
     found && !/^    / { exit }' README.md >"$work/install.sh"
grep -q "cmake --install" "$work/install.sh" || fail "no install block follows the demo in README.md"
step "the README's install block: $(paste -sd';' "$work/install.sh")"
bash -euo pipefail "$work/install.sh" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "the README's install block failed"; }
prefix=$HOME/.local
[ -z "$(find "$prefix" -name 'libkelvo_rtc_sdk*' -o -name 'kelvo-host-demo')" ] ||
  fail "the install put the stand-in host or its demo into the prefix"
cmake --build build --target kelvo-host-demo >/dev/null
cmake --install build --component host_demo --prefix "$prefix" >/dev/null

step "the installed programs, the build folder moved away"
mv build "$work/build.away"
ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=160x120:rate=10 -frames:v 5 -pix_fmt yuv420p \
  -f yuv4mpegpipe "$work/clip.y4m"
"$prefix/bin/kelvo-enhance" --no-progress -i "$work/clip.y4m" -o "$work/enhanced.y4m" ||
  fail "the installed kelvo-enhance failed"
[ "$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$work/enhanced.y4m")" = 5 ] ||
  fail "the installed kelvo-enhance did not write 5 frames"
if [ -e "$prefix/lib/gstreamer-1.0/libgstkelvo.so" ]; then
  GST_REGISTRY=$work/registry.bin GST_PLUGIN_PATH=$prefix/lib/gstreamer-1.0 \
    gst-launch-1.0 -q videotestsrc num-buffers=3 ! kelvoenhance ! fakesink ||
    fail "the installed GStreamer element does not run"
fi
(cd "$work" && "$prefix/lib/kelvo/kelvo-host-demo" --frames 12 >/dev/null) ||
  fail "the installed host demo does not run"
# Nothing installed looks into the clone: no RUNPATH, no text file (CMake
# package, pkg-config) names it. Debug information may.
for f in $(find "$prefix" -type f); do
  if readelf -d "$f" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -F "$work/clone" >/dev/null; then
    fail "$f has a RUNPATH into the build tree"
  fi
done
! grep -rIlF "$work/clone" "$prefix" || fail "installed files above name the build tree"
step "ok"
