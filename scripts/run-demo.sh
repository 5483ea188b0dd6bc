#!/usr/bin/env bash
# Installs what is needed, builds the library and runs kelvo-enhance on its
# built-in generated clip: out/enhanced.y4m and a before/after out/snapshot.png.
# Extra arguments go to kelvo-enhance (see kelvo-enhance --help).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja
# The library and the tool only: tests and benchmarks are scripts/test.sh's.
cmake --build build --target kelvo-enhance
mkdir -p out
./build/tools/enhance/kelvo-enhance --demo --frames 30 --output out/enhanced.y4m \
  --snapshot out/snapshot.png --snapshot-frame 29 --progress "$@"
echo "wrote out/enhanced.y4m and out/snapshot.png (left: input, right: enhanced)"
