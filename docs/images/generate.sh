#!/usr/bin/env bash
# Regenerates the before/after pictures of the README with kelvo-enhance on its
# built-in clip (left half: input, right half: output).
#   docs/images/generate.sh [path/to/kelvo-enhance]
set -euo pipefail
cd "$(dirname "$0")"
tool=${1:-../../build/tools/enhance/kelvo-enhance}
shot() {
  local name=$1; shift
  "$tool" --demo --size 320x180 --frames 20 --snapshot-frame 19 --no-progress \
    --snapshot "$name.png" "$@"
}
shot beauty -e beauty -p 'beauty_effect_option={"smoothness":0.9,"lightness":0.5,"redness":0.4,"sharpness":0.3}'
shot color -e color -p 'color_enhance_option={"strength":1.0,"skinProtect":1}'
shot lowlight -e lowlight -p 'lowlight_enhance_option={"mode":1}'
shot denoise --noise 14 -e denoise -p 'video_denoiser_option={"mode":1,"level":2}'
