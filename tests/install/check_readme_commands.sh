#!/usr/bin/env bash
# Runs the README's commands as a newcomer would after scripts/install-deps.sh,
# against this build, on a small H.264 file (10-bit video and AAC audio, as a
# phone or camera writes it). Every indented command block of README.md is
# preceded by "<!-- check: run -->" or "<!-- check: skip: why -->"; a block
# with neither fails here, so a new command is either run or says why not.
# The run blocks go in order through one shell (an `export` carries over) in a
# scratch directory where ./build is this build and $HOME a scratch folder
# (the install steps write ~/.local and ~/.config there). Every .mp4 they
# write must decode to the input's frames.
#   check_readme_commands.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_readme_commands: $*" >&2; exit 1; }

# Blocks outside fenced code: lines of four blanks after a blank line or a
# marker; each becomes one step of the script, or a count of skipped ones.
awk -v out="$work/commands.sh" '
  /^```/ { fence = !fence; next }
  fence { next }
  /^<!-- check: run -->$/ { mark = "run"; next }
  /^<!-- check: skip: .+ -->$/ { mark = "skip"; next }
  /^    / {
    if (!inblock) {
      inblock = 1; n++
      if (mark == "") { printf "README.md:%d: command block without a check marker\n", NR > "/dev/stderr"; bad = 1 }
      kind = mark
      if (kind == "run") { runs++; printf "echo \"== README.md:%d\" >&2\n", NR > out }
      else skips++
    }
    if (kind == "run") print substr($0, 5) > out
    next
  }
  /^$/ && inblock { inblock = 0; mark = ""; next }
  { inblock = 0; mark = "" }
  END {
    printf "check_readme_commands: %d blocks, %d run, %d skipped\n", n, runs, skips > "/dev/stderr"
    exit bad
  }
' "$src/README.md" || fail "mark every command block of README.md"
[ -s "$work/commands.sh" ] || fail "no command of README.md is marked to run"

command -v ffmpeg >/dev/null || fail "ffmpeg is missing: run scripts/install-deps.sh"
cd "$work"
ln -s "$build" build
ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=320x240:rate=10 -f lavfi \
  -i sine=frequency=440:sample_rate=48000 -t 1 -c:v libx264 -pix_fmt yuv420p10le -c:a aac \
  -shortest in.mp4 || fail "cannot make the input file"
frames() {
  ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
    -of csv=p=0 "$1"
}
expected=$(frames in.mp4)

# A registry of its own: the commands must find the element through the
# documented GST_PLUGIN_PATH, not through an earlier run's cache.
export GST_REGISTRY=$work/registry.bin
mkdir home
HOME=$work/home bash -euo pipefail commands.sh </dev/null >log.txt 2>&1 || {
  cat log.txt >&2
  fail "a README command failed (the last == line above names it)"
}
# What the install steps left: the user's files, never the stand-in host.
home=$work/home
[ -x "$home/.local/bin/kelvo-enhance" ] || fail "the README's install gave no ~/.local/bin/kelvo-enhance"
[ -z "$(find "$home" -name 'libkelvo_rtc_sdk*' -o -name 'kelvo-host-demo')" ] ||
  fail "the README's install put the stand-in host or its demo into the prefix"
obs_user=$home/.config/obs-studio/plugins/kelvo-obs
[ -f "$obs_user/bin/64bit/kelvo-obs.so" ] && [ -f "$obs_user/data/locale/en-US.ini" ] &&
  ldd "$obs_user/bin/64bit/kelvo-obs.so" | grep "libkelvo_video_process.*$obs_user" >/dev/null ||
  fail "the per-user OBS install is not in OBS's layout or does not find its library"
outputs=0
for f in *.mp4; do
  [ "$f" = in.mp4 ] && continue
  got=$(frames "$f")
  [ "$got" = "$expected" ] || fail "$f has $got frames, in.mp4 $expected"
  outputs=$((outputs + 1))
done
[ "$outputs" -gt 0 ] || fail "the README commands wrote no video"
echo "check_readme_commands: ok ($outputs videos of $expected frames)"
