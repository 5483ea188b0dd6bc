#!/usr/bin/env bash
# Installs what is needed, builds the library and runs the demo on its
# built-in input.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build
./build/tools/demo/kelvo-demo "$@"
