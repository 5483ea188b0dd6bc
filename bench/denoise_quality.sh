#!/usr/bin/env bash
# Luma PSNR and speed of the video denoiser beside ffmpeg's hqdn3d, on clips
# generated here: a static scene and a slowly panning one, each with Gaussian
# luma noise of sigma 5 and 10.
#
#   bench/denoise_quality.sh [BUILD_DIR]      (default: build)
#   KELVO_EVAL_SIZE=1280x720 KELVO_EVAL_FRAMES=60 KELVO_EVAL_SKIP=10
#
# PSNR is the mean per-frame luma PSNR against the clean clip, leaving out the
# first SKIP frames, while both recursive filters settle. Times are CPU time
# per frame, steadier than wall time on a shared machine: ours is spent in
# Draw alone (one thread); hqdn3d's is ffmpeg's user time with one thread
# minus that of the same run through the null filter, so reading and writing
# the clip are not counted. hqdn3d runs with its defaults, which also filter
# chroma; ours leaves chroma alone.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
size=${KELVO_EVAL_SIZE:-1280x720}
frames=${KELVO_EVAL_FRAMES:-60}
skip=${KELVO_EVAL_SKIP:-10}

command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
if ! log=$(cmake --build "$build" --target kelvo-denoise-eval 2>&1); then
    echo "$log" >&2
    exit 1
fi
tool=$build/tools/denoise_eval/kelvo-denoise-eval

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# User seconds of one single-threaded ffmpeg run of filter $1 over $2.
ffmpeg_seconds() {
    ffmpeg -hide_banner -nostdin -benchmark -threads 1 -filter_threads 1 \
        -f rawvideo -pix_fmt yuv420p -s "$size" -i "$2" -vf "$1" \
        -f rawvideo -y "$3" 2>&1 | sed -n 's/^bench: utime=\([0-9.]*\)s.*/\1/p'
}

echo "size $size, $frames frames, PSNR over frames $skip..$((frames - 1)) (luma, dB)"
printf '%-7s %5s | %7s %7s %7s | %10s %10s\n' scene sigma noisy ours hqdn3d "ours ms" "hqdn3d ms"
for scene in static pan; do
    for sigma in 5 10; do
        "$tool" generate "$scene" "$size" "$frames" "$sigma" 1 "$work/clean.yuv" "$work/noisy.yuv"
        ours_ms=$("$tool" denoise "$size" "$work/noisy.yuv" "$work/ours.yuv" |
            awk '$1 == "ms/frame" { print $2 }')
        hq_s=$(ffmpeg_seconds hqdn3d "$work/noisy.yuv" "$work/hqdn3d.yuv")
        null_s=$(ffmpeg_seconds null "$work/noisy.yuv" "$work/null.yuv")
        hq_ms=$(awk -v a="$hq_s" -v b="$null_s" -v n="$frames" \
            'BEGIN { d = a - b; if (d < 0) d = 0; printf "%.3f", 1000 * d / n }')
        noisy=$("$tool" psnr "$size" "$work/clean.yuv" "$work/noisy.yuv" "$skip")
        ours=$("$tool" psnr "$size" "$work/clean.yuv" "$work/ours.yuv" "$skip")
        hq=$("$tool" psnr "$size" "$work/clean.yuv" "$work/hqdn3d.yuv" "$skip")
        printf '%-7s %5s | %7s %7s %7s | %10s %10s\n' \
            "$scene" "$sigma" "$noisy" "$ours" "$hq" "$ours_ms" "$hq_ms"
    done
done
