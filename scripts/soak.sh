#!/usr/bin/env bash
# Drives the library for DURATION seconds as hosts do (default 60):
# kelvo-soak runs two engines on two threads (CPU, and GL where a context can
# be made) with random sizes up to 4K, formats, colour codes, effects,
# parameter documents and release/init cycles, plus the kelvoenhance element
# in a pipeline that renegotiates, changes properties and changes state;
# beside it, kelvo-enhance processes a piped Y4M stream, clip after clip.
# Reports frames, unexpected results and resident memory (start, after the
# warm-up, end); fails on any unexpected result, a failed pipe, or memory
# growing by more than 10 % after the warm-up.
#   scripts/soak.sh [DURATION] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
duration=${1:-60}
build=${2:-build}
if [[ ! -x $build/tools/soak/kelvo-soak ]]; then
  cmake -S . -B "$build" -G Ninja -DKELVO_WERROR=ON >/dev/null
  cmake --build "$build" --target kelvo-soak kelvo-enhance $( [[ -n $(pkg-config --silence-errors --modversion gstreamer-1.0) ]] && echo gstkelvo)
fi
enhance=$build/tools/enhance/kelvo-enhance
export GST_PLUGIN_PATH=$PWD/$build/gstreamer${GST_PLUGIN_PATH:+:$GST_PLUGIN_PATH}

# The command-line tool on a pipe, until the time is up.
pipe_log=$(mktemp)
(
  end=$((SECONDS + duration))
  clips=0
  while ((SECONDS < end)); do
    size=$((32 + RANDOM % 320))x$((32 + RANDOM % 240))
    if ! "$enhance" --demo --size "$size" -n 20 --no-progress -o - 2>>"$pipe_log" |
        "$enhance" -i - -o /dev/null --no-progress 2>>"$pipe_log"; then
      echo "kelvo-enhance pipe failed at $size" >>"$pipe_log"
      exit 1
    fi
    clips=$((clips + 1))
  done
  echo "kelvo-enhance: $clips piped clips of 20 frames"
) &
pipe=$!

status=0
"$build/tools/soak/kelvo-soak" "$duration" || status=$?
wait "$pipe" || { echo "kelvo-enhance on a pipe FAILED:"; tail -5 "$pipe_log"; status=1; }
rm -f "$pipe_log"
exit "$status"
