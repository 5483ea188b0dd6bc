#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz and runs
# each from its committed seeds for a bounded time.
#   scripts/fuzz.sh [seconds per target, default 60]
# Exits non-zero when any target finds a crash; the input is left in
# build-fuzz/artifacts/<target>/. New corpus entries stay in build-fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
targets=(parameter process_frame png y4m)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKELVO_BUILD_FUZZERS=ON \
  -DKELVO_BUILD_TESTS=OFF -DKELVO_BUILD_BENCH=OFF
cmake --build build-fuzz -j2 --target "${targets[@]/%/_fuzzer}"

# Mesa keeps allocations that LeakSanitizer cannot always see as reachable.
if [[ -f tests/lsan.supp ]]; then
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
fi

failed=0
summary=""
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  artifacts="build-fuzz/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  log="build-fuzz/fuzz-$t.log"
  dict=()
  [[ -f "fuzz/$t.dict" ]] && dict=(-dict="fuzz/$t.dict")
  echo "== $t: ${seconds}s"
  status=0
  "build-fuzz/fuzz/${t}_fuzzer" "$corpus" "fuzz/corpus/$t" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=25 -rss_limit_mb=3072 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [[ $status -ne 0 ]]; then
    failed=1
    echo "$t: FAILED (exit $status), see $log and $artifacts/"
    grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$log" | head -8 || true
  fi
  summary+="$(printf '%-14s %10s executions%s' "$t" "${execs:-?}" \
    "$([[ $status -ne 0 ]] && echo '  CRASH')")"$'\n'
done
printf '\n%s' "$summary"
exit "$failed"
