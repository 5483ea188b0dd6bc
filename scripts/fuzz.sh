#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz and runs
# each from its committed seeds for a bounded time, one target after another
# on one core.
#   scripts/fuzz.sh [SECONDS] [TARGET[=SECONDS[/RUNS]] ...]
# SECONDS (default 60) bounds every target; naming targets runs only those,
# each with its own time and, optionally, a number of executions after which
# it stops early. Long runs, for example:
#   nice -n 19 scripts/fuzz.sh parameter=1800/1000000 png=3600/1000000 \
#     y4m=1800/1000000 process_frame=3600 process_frame_gl=3600
# Exits non-zero when any target finds a crash; the input is left in
# build-fuzz/artifacts/<target>/. New corpus entries stay in build-fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
all=(parameter process_frame process_frame_gl png y4m)
seconds=60
if [[ $# -gt 0 && $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
declare -A budget runs
targets=()
for arg in "$@"; do
  t=${arg%%=*}
  if [[ ! " ${all[*]} " =~ " $t " ]]; then
    echo "unknown fuzz target '$t' (known: ${all[*]})" >&2
    exit 2
  fi
  spec=${arg#"$t"}
  spec=${spec#=}
  budget[$t]=${spec%%/*}
  [[ $spec == */* ]] && runs[$t]=${spec#*/}
  targets+=("$t")
done
[[ ${#targets[@]} -eq 0 ]] && targets=("${all[@]}")

# Inputs larger than this add no new paths, only time per execution: a frame
# pattern is repeated, and a PNG or Y4M stream beyond the seeds' sizes is
# more of the same rows.
declare -A max_len=([parameter]=4096 [process_frame]=1024 [process_frame_gl]=1024 [png]=8192 \
  [y4m]=4096)
# Targets that start from another target's seeds.
declare -A seeds_of=([process_frame_gl]=process_frame)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKELVO_BUILD_FUZZERS=ON \
  -DKELVO_BUILD_TESTS=OFF -DKELVO_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/%/_fuzzer}"

# Mesa keeps allocations that LeakSanitizer cannot always see as reachable.
if [[ -f tests/lsan.supp ]]; then
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
fi
# llvmpipe rasterises on the calling thread: one core per fuzzer, and no
# thread hand-off per draw of the tiny frames.
export LP_NUM_THREADS=0
# A quarantine far larger than what one input allocates only makes every
# allocation touch fresh pages; 64 MB still holds everything an input frees.
export ASAN_OPTIONS="quarantine_size_mb=64:intercept_tls_get_addr=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

# -close_fd_mask=2: what the code under test prints (libpng's complaints, GL
# diagnostics) would cost a write per input and bury the log; libFuzzer and
# the sanitizers report through a copy of standard error all the same.
failed=0
summary=""
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  artifacts="build-fuzz/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  log="build-fuzz/fuzz-$t.log"
  dict=()
  [[ -f "fuzz/${seeds_of[$t]:-$t}.dict" ]] && dict=(-dict="fuzz/${seeds_of[$t]:-$t}.dict")
  limit=(-max_total_time="${budget[$t]:-$seconds}")
  [[ -n ${runs[$t]:-} ]] && limit+=(-runs="${runs[$t]}")
  echo "== $t: ${budget[$t]:-$seconds}s${runs[$t]:+, at most ${runs[$t]} executions}"
  status=0
  start=$SECONDS
  "build-fuzz/fuzz/${t}_fuzzer" "$corpus" "fuzz/corpus/${seeds_of[$t]:-$t}" "${dict[@]}" "${limit[@]}" \
    -max_len="${max_len[$t]}" -close_fd_mask=2 -timeout=25 -rss_limit_mb=3072 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?
  elapsed=$((SECONDS - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [[ $status -ne 0 ]]; then
    failed=1
    echo "$t: FAILED (exit $status), see $log and $artifacts/"
    grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$log" | head -8 || true
  fi
  summary+="$(printf '%-14s %10s executions in %5ss%s' "$t" "${execs:-?}" "$elapsed" \
    "$([[ $status -ne 0 ]] && echo '  CRASH')")"$'\n'
done
printf '\n%s' "$summary"
exit "$failed"
