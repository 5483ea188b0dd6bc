#!/usr/bin/env bash
# Regenerates the README's before/after pictures: kelvo-enhance runs on the real
# photos and video in sources/ (README.md beside this script says where they come
# from and under which licence), and ffmpeg crops the pair and labels it.
#   docs/images/generate.sh [path/to/kelvo-enhance]
# Needs ffmpeg (with drawtext) and the DejaVu fonts (fonts-dejavu-core).
set -euo pipefail
tool=${1:+$(realpath "$1")}
cd "$(dirname "$0")"
tool=${tool:-$PWD/../../build/tools/enhance/kelvo-enhance}
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shot NAME SOURCE FRAMES FILTER KELVO-ARGS...
# Feeds the first FRAMES frames of SOURCE (a photo repeats) through the ffmpeg
# FILTER into kelvo-enhance and keeps its snapshot of the last frame:
# $work/NAME.png, input left, output right.
shot() {
  local name=$1 source=$2 frames=$3 filter=$4 loop=()
  shift 4
  case $source in *.avi) ;; *) loop=(-loop 1) ;; esac
  ffmpeg -v error "${loop[@]}" -i "sources/$source" -frames:v "$frames" \
    -vf "$filter,format=yuv420p" -f yuv4mpegpipe - |
    "$tool" -i - --no-progress --snapshot "$work/$name.png" \
      --snapshot-frame $((frames - 1)) "$@"
}

# pair NAME W H X Y SCALE TITLE FOOTER
# Cuts the W×H region at X,Y out of both halves of the snapshot, enlarges it
# SCALE times with square pixels, tags the halves and writes NAME.png with the
# settings (TITLE) above and the source (FOOTER) below.
pair() {
  local name=$1 w=$2 h=$3 x=$4 y=$5 scale=$6 half
  printf '%s' "$7" >"$work/title.txt"
  printf '%s' "$8" >"$work/footer.txt"
  printf 'before' >"$work/before.txt"
  printf 'after' >"$work/after.txt"
  half=$(($(ffprobe -v error -show_entries stream=width -of csv=p=0 "$work/$name.png") / 2))
  local tag="fontfile=$font:fontsize=15:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=4:x=8:y=8"
  local enlarge="scale=iw*$scale:ih*$scale:flags=neighbor"
  ffmpeg -v error -y -i "$work/$name.png" -filter_complex "
    [0]split[a][b];
    [a]crop=$w:$h:$x:$y,$enlarge,drawtext=textfile=$work/before.txt:$tag,pad=iw+6:ih:0:0:white[l];
    [b]crop=$w:$h:$half+$x:$y,$enlarge,drawtext=textfile=$work/after.txt:${tag}[r];
    [l][r]hstack,pad=iw:ih+56:0:32:0x202020,
    drawtext=textfile=$work/title.txt:fontfile=$bold:fontsize=15:fontcolor=white:x=8:y=9,
    drawtext=textfile=$work/footer.txt:fontfile=$font:fontsize=12:fontcolor=0xc8c8c8:x=8:y=h-18,
    format=rgb24" "$name.png"
}

shot beauty astronaut-face.png 10 null \
  -e beauty -p 'beauty_effect_option={"smoothness":0.9,"lightness":0.5,"redness":0.4,"sharpness":0.3}'
pair beauty 192 192 32 20 2 \
  'beauty (101): smoothness 0.9, lightness 0.5, redness 0.4, sharpness 0.3' \
  'Eileen Collins, NASA portrait, public domain (python3-skimage astronaut.png) - 2x crop'

# Level 1 with the same settings: smoothing weighed by a soft skin likelihood,
# texture kept on eyes, brows and hair.
shot beauty-level1 astronaut-face.png 10 null \
  -e beauty -p 'beauty_effect_option={"level":1,"smoothness":0.9,"lightness":0.5,"redness":0.4,"sharpness":0.3}'
pair beauty-level1 192 192 32 20 2 \
  'beauty (101) level 1: smoothness 0.9, lightness 0.5, redness 0.4, sharpness 0.3' \
  'Eileen Collins, NASA portrait, public domain (python3-skimage astronaut.png) - 2x crop'

shot color aero1.jpg 5 null \
  -e color -p 'color_enhance_option={"strength":1.0,"skinProtect":1}'
pair color 440 330 100 60 1 \
  'colour enhancement (102): strength 1.0, skinProtect 1' \
  'Hazy aerial view of a town (opencv-doc aero1.jpg, Apache-2.0 / BSD-3-Clause) - full size'

shot lowlight rocket.jpg 20 'crop=640:426:0:0' \
  -e lowlight -p 'lowlight_enhance_option={"mode":0}'
pair lowlight 440 330 100 96 1 \
  'low light (104): automatic (mode 0), dark scene found after 15 frames; frame 20 shown' \
  'DSCOVR launch pad at dusk, SpaceX, public domain (python3-skimage rocket.jpg) - full size'

shot lowlight-adaptive rocket.jpg 20 'crop=640:426:0:0' \
  -e lowlight -p 'lowlight_enhance_option={"mode":0,"adaptive":1}'
pair lowlight-adaptive 440 330 100 96 1 \
  'low light (104): automatic, adaptive 1 (lift scaled by under-exposure, noise damped); frame 20' \
  'DSCOVR launch pad at dusk, SpaceX, public domain (python3-skimage rocket.jpg) - full size'

# The clip's own noise is mild after its compression: sensor-like temporal noise
# (luma sigma about 9, chroma about 4; ffmpeg's fixed seed) is added.
shot denoise vtest-20frames.avi 20 'format=yuv420p,noise=c0s=16:c0f=t:c1s=8:c1f=t:c2s=8:c2f=t' \
  -e denoise -p 'video_denoiser_option={"mode":1,"level":2}'
pair denoise 192 160 576 228 2 \
  'video denoiser (103): manual (mode 1), level 2; frame 20 of a moving clip' \
  'Pedestrians (opencv-doc vtest.avi, Apache-2.0 / BSD-3-Clause) + added noise sigma 9 - 2x crop'
