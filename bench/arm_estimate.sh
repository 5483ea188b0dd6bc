#!/usr/bin/env bash
# What the CPU rows would cost on a 64-bit ARM core, from instruction counts,
# since no ARM machine is at hand and qemu says nothing about speed.
#
#   bench/arm_estimate.sh [OUT_DIR]          (default: build-estimate)
#   KELVO_ESTIMATE_SIZE=320x180     clip size of the counted runs
#   KELVO_ESTIMATE_EFFECTS=denoise,lowlight,color,beauty
#   KELVO_ESTIMATE_A76_GHZ=2.4
#   KELVO_ESTIMATE_RECOUNT=0        keep the counts already in OUT_DIR, set by set
#                                   (delete neon-*.json there to count NEON alone)
#   KELVO_ESTIMATE_RETIME=0         keep the x86 timing and clock of OUT_DIR/runs.json
#                                   (when only the NEON rows changed: the busy
#                                   machine's timing moves the scale by a fifth)
#
# 1. Cross-builds the build without OpenGL for aarch64 and builds it for this
#    machine, both in Release (build-arm64-rel/, build-rel-nogl/).
# 2. Runs kelvo-enhance on the built-in clip under qemu-user with
#    -d in_asm,exec,nochain: every translated block's instructions and every
#    execution of a block, so bench/arm_estimate.py counts the instructions
#    each function of the library executes, by class. NEON under
#    qemu-aarch64, SSE2 and AVX2 under qemu-x86_64 (KELVO_CPU_MASK). Runs of
#    two lengths; their difference is the steady frames' cost, without the
#    tables and the colour cube built on the first frame.
# 3. Times the x86 build natively at 1280x720 (CPU time of 22 frames less
#    that of 2, the best of five), with the effects and with the denoiser
#    alone, and this core's clock (a chain of dependent adds): the
#    difference is what the rows cost but the denoiser's, against which the
#    issue model's cycles for the same rows are checked.
# 4. Prints instructions a pixel of each row family for NEON, SSE2 and AVX2,
#    and the expected time of a 1280x720 frame on a Cortex-A76: the issue
#    model's cycles scaled by what the same model misses on this machine.
# Counting takes a few minutes (the logs are streamed, never stored).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-estimate}
size=${KELVO_ESTIMATE_SIZE:-320x180}
effects=${KELVO_ESTIMATE_EFFECTS:-denoise,lowlight,color,beauty}
a76_ghz=${KELVO_ESTIMATE_A76_GHZ:-2.4}
mkdir -p "$out"

common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVO_WITH_GL=OFF -DKELVO_BUILD_BENCH=OFF)
if command -v ccache >/dev/null; then
  common+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-arm64-rel --toolchain cmake/toolchains/aarch64-linux-gnu.cmake "${common[@]}" \
  >/dev/null
cmake -S . -B build-rel-nogl "${common[@]}" >/dev/null
cmake --build build-arm64-rel --target kelvo-enhance
cmake --build build-rel-nogl --target kelvo-enhance

# Low light in manual mode and not adaptive, so it runs on the lit clip.
args=(--demo --size "$size" --backend cpu --threads 1 -e "$effects" --no-progress -o /dev/null
      -p 'lowlight_enhance_option={"enable":1,"mode":1,"adaptive":0}')
short=2 long=4


# count NAME ISA MASK FRAMES: one run's counts, in $out/NAME-FRAMES.json.
count() {
  local name=$1 isa=$2 mask=$3 frames=$4 fifo="$out/$1.fifo" emulator build nm
  if [[ $isa == arm ]]; then
    emulator=(qemu-aarch64 -L /) build=build-arm64-rel nm=aarch64-linux-gnu-nm
  else
    emulator=(qemu-x86_64 -cpu max) build=build-rel-nogl nm=nm
  fi
  rm -f "$fifo" && mkfifo "$fifo"
  python3 bench/arm_estimate.py count --isa "$isa" --library "$build/libkelvo_video_process.so" \
    --nm "$nm" <"$fifo" >"$out/$name-$frames.json" &
  KELVO_CPU_MASK=$mask "${emulator[@]}" -strace -d in_asm,exec,nochain -D "$fifo" \
    "$build/tools/enhance/kelvo-enhance" "${args[@]}" -n "$frames" 2>/dev/null
  wait $!
  rm -f "$fifo"
}
# count_again NAME ISA MASK FRAMES: count unless kept.
count_again() {
  [[ ${KELVO_ESTIMATE_RECOUNT:-1} == 0 && -s $out/$1-$4.json ]] || count "$@"
}
for frames in $short $long; do
  count_again neon arm neon "$frames"
  count_again sse2 x86 sse2 "$frames"
  count_again avx2 x86 avx2 "$frames"
done

# CPU seconds of a native run of N frames at 1280x720 with the given
# effects, the best of five.
cpu_seconds() {
  local best='' t
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f '%U %S' -o "$out/time.txt" env KELVO_CPU_MASK="$1" \
      build-rel-nogl/tools/enhance/kelvo-enhance "${args[@]}" --size 1280x720 -n "$2" -e "$3" \
      2>/dev/null
    t=$(awk '{print $1 + $2}' "$out/time.txt")
    best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
  echo "$best"
}
# ms of a steady frame: 22 frames less 2. The denoiser alone is the
# baseline: the tool's clip and output cost as much there, the rows little.
frame_ms() {
  local a b
  a=$(cpu_seconds "$1" 2 "$2") b=$(cpu_seconds "$1" 22 "$2")
  awk -v a="$a" -v b="$b" 'BEGIN { print (b - a) * 1000 / 20 }'
}
declare -A ms base
if [[ ${KELVO_ESTIMATE_RETIME:-1} == 0 && -s $out/runs.json ]]; then
  # kept: one line of "sse2 avx2 sse2-base avx2-base ghz"
  read -r 'ms[sse2]' 'ms[avx2]' 'base[sse2]' 'base[avx2]' ghz < <(python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))
print(r["measured_ms"]["sse2"], r["measured_ms"]["avx2"], r["baseline_ms"]["sse2"],
      r["baseline_ms"]["avx2"], r["clock_ghz"])' "$out/runs.json")
else
  for mask in sse2 avx2; do
    ms[$mask]=$(frame_ms $mask "$effects")
    base[$mask]=$(frame_ms $mask denoise)
  done

  # This x86-64 core's clock: 24 dependent one-cycle adds a turn, in CPU time.
  cat >"$out/clock.c" <<'CEOF'
#include <stdio.h>
#include <time.h>
int main(void) {
    double best = 1e9;
    for (int r = 0; r < 5; ++r) {
        struct timespec a, b;
        long x = 0;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
        for (long i = 0; i < 20000000; ++i)
            __asm__ volatile(".rept 24\n\tadd $1, %0\n\t.endr" : "+r"(x));
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
        double s = (double)(b.tv_sec - a.tv_sec) + 1e-9 * (double)(b.tv_nsec - a.tv_nsec);
        if (s < best) best = s;
    }
    printf("%.3f\n", 24.0 * 20000000 / best / 1e9);
    return 0;
}
CEOF
  cc -O1 -o "$out/clock" "$out/clock.c"
  ghz=$("$out/clock")
fi

cat >"$out/runs.json" <<JEOF
{"clip": "built-in clip, $size, $effects", "pixels": $(( ${size%x*} * ${size#*x} )),
 "frames": $(( long - short )), "full_pixels": $(( 1280 * 720 )),
 "clock_ghz": $ghz, "a76_ghz": $a76_ghz,
 "measured_ms": {"sse2": ${ms[sse2]}, "avx2": ${ms[avx2]}},
 "baseline_ms": {"sse2": ${base[sse2]}, "avx2": ${base[avx2]}},
 "counts": {"neon": ["$out/neon-$short.json", "$out/neon-$long.json"],
            "sse2": ["$out/sse2-$short.json", "$out/sse2-$long.json"],
            "avx2": ["$out/avx2-$short.json", "$out/avx2-$long.json"]}}
JEOF
python3 bench/arm_estimate.py report "$out/runs.json" --json "$out/per_pixel.json" |
  tee "$out/estimate.md"
