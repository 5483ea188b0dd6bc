#!/usr/bin/env bash
# Builds the benchmarks in Release, runs them, times ffmpeg's filters as
# peers on the same frames and kelvo-enhance against ffmpeg's chain as whole
# processes, and writes docs/performance.md with the machine's load average
# before and after.
#
#   bench/run_performance.sh [BUILD_DIR]          (default: build-perf-rel)
#   KELVO_PERF_REPS=5          repetitions per benchmark (the median is kept)
#   KELVO_PERF_MIN_TIME=0.2    seconds per repetition at least
#   KELVO_PERF_FRAMES=60       frames per ffmpeg run
#   KELVO_PERF_FILTER=regex    run only the benchmarks matching it
#   KELVO_PERF_TOOL=1          0 leaves out the whole-process comparison of
#                              kelvo-enhance with ffmpeg (bench/tool_vs_ffmpeg.sh,
#                              300 frames of 1280x720, three runs: a few minutes)
#
# ffmpeg runs single-threaded (-threads 1 -filter_threads 1); a filter's time
# per frame is its user CPU time minus that of the same run through the null
# filter (with the same format conversion in front, for vibrance), so reading
# the frames and converting them do not count. The chain row is ffmpeg's
# nearest equivalent of processFrame with all four effects, conversions
# included, against the null filter alone.
#
# Besides the programs listed below, any other bench/*.cpp (a new benchmark,
# such as processFrame on the CPU backend) is built and run too, so its rows
# reach the page without editing this script; cpu_paths is left out, as its
# SIMD-against-portable comparisons are for kernel work, not this page. The
# GStreamer element's and the OBS filter's overheads are measured when their
# plugins are built.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-perf-rel}
reps=${KELVO_PERF_REPS:-5}
min_time=${KELVO_PERF_MIN_TIME:-0.2}
frames=${KELVO_PERF_FRAMES:-60}
filter=${KELVO_PERF_FILTER:-.}
tool=${KELVO_PERF_TOOL:-1}
benches=(gl_floor render_roundtrip beauty color_lowlight denoiser process_frame conversions
         cpu_effects cpu_beauty)
for src in "$root"/bench/*.cpp; do
    name=$(basename "$src" .cpp)
    [[ $name == cpu_paths || " ${benches[*]} " == *" $name "* ]] || benches+=("$name")
done

command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVO_BUILD_BENCH=ON \
    -DKELVO_BUILD_TESTS=OFF >/dev/null
targets=("${benches[@]/#/kelvo_bench_}" kelvo-enhance)
programs=()
for name in "${benches[@]}"; do programs+=("$build/bench/kelvo_bench_$name"); done
# Only there when GStreamer's development files were found.
if cmake --build "$build" --target help | grep '^kelvo_bench_gstreamer:' >/dev/null; then
    targets+=(kelvo_bench_gstreamer)
    programs+=("$build/gstreamer/kelvo_bench_gstreamer")
fi
# And the OBS filter's, when libobs was.
if cmake --build "$build" --target help | grep '^kelvo_bench_obs:' >/dev/null; then
    targets+=(kelvo_bench_obs)
    programs+=("$build/obs/kelvo_bench_obs")
fi
cmake --build "$build" -j2 --target "${targets[@]}"

out=$build/performance
mkdir -p "$out"
rm -f "$out"/*.json "$out"/ffmpeg.tsv "$out"/tool.tsv

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for program in "${programs[@]}"; do
    name=${program##*/kelvo_bench_}
    echo "== $name" >&2
    "$program" \
        --benchmark_filter="$filter" \
        --benchmark_repetitions="$reps" \
        --benchmark_min_time="$min_time" \
        --benchmark_report_aggregates_only=true \
        --benchmark_out="$out/$name.json" --benchmark_out_format=json >&2
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "user_seconds real_seconds" of one single-threaded run of filter $2 over
# the clip $1 of size $3.
ffmpeg_run() {
    ffmpeg -hide_banner -nostdin -benchmark -threads 1 -filter_threads 1 \
        -f rawvideo -pix_fmt yuv420p -s "$3" -i "$1" -vf "$2" -f null - 2>&1 |
        sed -n 's/^bench: utime=\([0-9.]*\)s stime=[0-9.]*s rtime=\([0-9.]*\)s.*/\1 \2/p'
}

# Median user and real seconds of three runs.
ffmpeg_median() {
    for _ in 1 2 3; do ffmpeg_run "$@"; done | sort -n | sed -n 2p
}

printf 'peer\tsize\tms\twall_ms\n' >"$out/ffmpeg.tsv"
for size in 640x480 1280x720 1920x1080; do
    clip=$work/camera_$size.yuv
    "$build/bench/kelvo_bench_process_frame" --write-frames "${size%x*}" "${size#*x}" \
        "$frames" "$clip"
    null=$(ffmpeg_median "$clip" null "$size")
    rgb_null=$(ffmpeg_median "$clip" format=gbrp "$size")
    for peer in "hqdn3d|hqdn3d|$null" \
                "vibrance|format=gbrp,vibrance=intensity=0.5|$rgb_null" \
                "bilateral|bilateral=sigmaS=3:sigmaR=0.1:planes=7|$null" \
                "chain|hqdn3d,eq,format=gbrp,vibrance,format=yuv420p,bilateral|$null"; do
        IFS='|' read -r label graph base <<<"$peer"
        timed=$(ffmpeg_median "$clip" "$graph" "$size")
        read -r user real <<<"$timed"
        read -r base_user base_real <<<"$base"
        awk -v l="$label" -v s="$size" -v u="$user" -v r="$real" -v bu="$base_user" \
            -v br="$base_real" -v n="$frames" \
            'BEGIN { printf "%s\t%s\t%.3f\t%.3f\n", l, s, (u - bu) * 1000 / n, (r - br) * 1000 / n }' \
            >>"$out/ffmpeg.tsv"
    done
done
if [[ $tool != 0 ]]; then
    echo "== kelvo-enhance against ffmpeg, whole processes" >&2
    "$root/bench/tool_vs_ffmpeg.sh" "$build/tools/enhance/kelvo-enhance" "$out/tool.tsv"
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

command="bench/run_performance.sh${1:+ $1}"
python3 "$root/bench/format_performance.py" "$out" "$root/docs/performance.md" \
    "$command" "$load_before" "$load_after" "$frames" "$reps"
echo "wrote $root/docs/performance.md" >&2
