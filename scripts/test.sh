#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DKELVO_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure -j2
# The GL tests once more with an X server, where the GLFW context is taken.
xvfb-run -a -s "-screen 0 64x64x24" ctest --test-dir build --output-on-failure -L gl
