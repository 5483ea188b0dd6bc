#!/usr/bin/env bash
# Times whole processes on one clip: kelvo-enhance on the CPU backend with 1
# and 2 threads against ffmpeg's nearest chain on one thread, each reading a
# Y4M file and writing Y4M to /dev/null, in turns, three runs each.
#
#   bench/tool_vs_ffmpeg.sh KELVO_ENHANCE [OUT_TSV]
#   KELVO_TOOL_FRAMES=300   frames of the clip
#   KELVO_TOOL_SIZE=1280x720
#   KELVO_TOOL_RUNS=3
#
# The clip is testsrc2 with temporal noise, made once with ffmpeg. Both
# tools run all four kinds of work: kelvo-enhance all four effects in manual
# modes (so the denoiser and low light run on every frame), ffmpeg hqdn3d,
# eq, vibrance (in RGB) and bilateral. Writes one row per run (tool, run,
# wall, user and system seconds, frames, size) to OUT_TSV (default: standard output) and a
# summary of medians to standard error.
set -euo pipefail

tool=${1:?usage: tool_vs_ffmpeg.sh KELVO_ENHANCE [OUT_TSV]}
out=${2:-/dev/stdout}
frames=${KELVO_TOOL_FRAMES:-300}
size=${KELVO_TOOL_SIZE:-1280x720}
runs=${KELVO_TOOL_RUNS:-3}

command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
[[ -x $tool ]] || { echo "$tool is not a program" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clip=$work/clip.y4m
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=$size:rate=30" \
    -vf noise=alls=10:allf=t -frames:v "$frames" -pix_fmt yuv420p -f yuv4mpegpipe "$clip"

effects=(--backend cpu -e denoise,lowlight,color,beauty
         -p 'video_denoiser_option={"enable":1,"mode":1}'
         -p 'lowlight_enhance_option={"enable":1,"mode":1}')
chain=hqdn3d,eq,format=gbrp,vibrance,format=yuv420p,bilateral

# "wall user system" seconds of one run of the command.
timed() {
    local TIMEFORMAT='%R %U %S' t
    { t=$( { time "$@" >/dev/null 2>"$work/err" ; } 2>&1 ); } || {
        cat "$work/err" >&2
        return 1
    }
    echo "$t"
}

rows=$work/rows.tsv
printf 'tool\trun\twall_s\tuser_s\tsys_s\tframes\tsize\n' >"$rows"
for run in $(seq "$runs"); do
    # In turns, so that a change in the machine's load falls on all three.
    for name in ffmpeg threads1 threads2; do
        case $name in
            ffmpeg) t=$(timed ffmpeg -hide_banner -nostdin -v error -threads 1 -filter_threads 1 \
                        -i "$clip" -vf "$chain" -threads 1 -f yuv4mpegpipe -y /dev/null) ;;
            threads*) t=$(timed "$tool" --no-progress "${effects[@]}" --threads "${name#threads}" \
                          -i "$clip" -o /dev/null) ;;
        esac
        read -r wall user sys <<<"$t"
        printf '%s\t%d\t%s\t%s\t%s\t%d\t%s\n' "$name" "$run" "$wall" "$user" "$sys" "$frames" "$size" \
            >>"$rows"
    done
done
# Medians, per frame.
awk -F'\t' 'NR > 1 { w[$1] = w[$1] " " $3; c[$1] = c[$1] " " ($4 + $5); n[$1] = $6 }
    function median(list,   v, k, i, j, t) {
        k = split(list, v, " ")
        for (i = 2; i <= k; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) {
            t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
        return v[int((k + 1) / 2)]
    }
    END { for (t in w) printf "%-9s median %.1f ms a frame wall, %.1f CPU ms a frame\n",
          t, 1000 * median(w[t]) / n[t], 1000 * median(c[t]) / n[t] }' "$rows" | sort >&2
cat "$rows" >"$out"
