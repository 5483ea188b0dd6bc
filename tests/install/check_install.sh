#!/usr/bin/env bash
# The library as a newcomer installs it: `cmake --install` into a fresh
# prefix, then the installed tools run from there, pkg-config and the header
# agree on the version, and the minimal program of docs/integration.md builds
# against the package (CMake and pkg-config) and runs.
#   check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check_install: $*" >&2; exit 1; }

# Tools from the prefix find the library beside them (RUNPATH $ORIGIN/../lib).
"$prefix/bin/kelvo-enhance" --demo --size 64x48 -n 2 --no-progress -o "$work/out.y4m" ||
  fail "installed kelvo-enhance does not run"
# The stand-in host is a test fixture: its name is a real host's library's,
# so it is installed only on request, into a private folder, with its demo.
[ -z "$(find "$prefix" -name 'libkelvo_rtc_sdk*' -o -name 'kelvo-host-demo')" ] ||
  fail "the stand-in host or its demo was installed by default"
cmake --install "$build" --component host_demo --prefix "$prefix" >/dev/null
demo=$(find "$prefix" -name kelvo-host-demo)
[ -n "$demo" ] && [ -z "$(find "$prefix/bin" "$(dirname "$demo")/.." -maxdepth 1 -name 'libkelvo_rtc_sdk*')" ] ||
  fail "the host demo's component installed outside its private folder"
"$demo" --help | grep "usage: kelvo-host-demo" >/dev/null || fail "installed kelvo-host-demo --help"
(cd "$work" && "$demo" --frames 12 >/dev/null) || fail "installed kelvo-host-demo does not run"

# One version number.
header_version=$(sed -n 's/^#define KELVO_VIDEO_VERSION_STRING "\(.*\)"/\1/p' \
  "$prefix/include/kelvo/version.h")
pc_dir=$(dirname "$(find "$prefix" -name kelvo_video_process.pc | head -1)")
pc_version=$(PKG_CONFIG_PATH=$pc_dir pkg-config --modversion kelvo_video_process)
[ -n "$header_version" ] && [ "$header_version" = "$pc_version" ] ||
  fail "version.h says '$header_version', pkg-config '$pc_version'"

# The minimal program of docs/integration.md is the one in docs/examples.
example=$src/docs/examples/minimal.cpp
awk '/<!-- minimal.cpp begin -->/{f=1;next} /<!-- minimal.cpp end -->/{f=0} f' \
  "$src/docs/integration.md" | sed '/^```/d' > "$work/from_doc.cpp"
cmp -s "$work/from_doc.cpp" "$example" ||
  fail "the program in docs/integration.md differs from docs/examples/minimal.cpp"

# Built with the CMake package ...
cmake -S "$src/tests/install" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DEXAMPLE_SOURCE="$example" >/dev/null
cmake --build "$work/consumer" >/dev/null
out=$("$work/consumer/minimal")
echo "$out" | grep "kelvo video process $header_version ($header_version): 10 frames, 0 failed" >/dev/null ||
  fail "minimal program (CMake) printed: $out"
# ... and with pkg-config, as docs/integration.md gives the command.
(export PKG_CONFIG_PATH=$pc_dir
 c++ -std=c++17 "$example" -o "$work/minimal-pc" $(pkg-config --cflags --libs kelvo_video_process) \
     -Wl,-rpath,$(pkg-config --variable=libdir kelvo_video_process))
"$work/minimal-pc" >/dev/null || fail "minimal program (pkg-config) failed"

# The Python package, when the build has it, imports from the prefix's
# dist-packages and finds the library there (RUNPATH).
python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ -d "$build/python/kelvo" ] && [ -n "$python" ]; then
  site=$(dirname "$(find "$prefix" -path '*/dist-packages/kelvo/__init__.py')")
  [ -f "$site/__init__.pyi" ] || fail "the Python package was not installed with its stubs"
  got=$(cd "$work" && PYTHONPATH=$(dirname "$site") "$python" -c \
    'import kelvo; kelvo.Engine("cpu").set_effects("beauty"); print(kelvo.version, kelvo.__file__)')
  [ "$got" = "$header_version $site/__init__.py" ] || fail "installed Python package printed: $got"
fi

# Consumers on Windows import the factory; only the library's build exports it.
c++ -E -P -D_WIN32 -I"$prefix/include" -x c++ - <<<'#include <kelvo/video_process_engine.h>' |
  grep -q "__declspec(dllimport)" || fail "the header does not import for consumers on Windows"
echo "check_install: ok ($header_version)"
