#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour sanitizers) in
# build-fuzz/ and runs each for the given number of seconds (default 60), starting from its seed
# corpus in fuzz/corpus/<target> (the task documents also from tests/corpus/documents).
# What a run finds is kept in build-fuzz/fuzz-corpus/<target>; a crashing, hanging or
# memory-hungry input is written to build-fuzz/fuzz-artifacts/<target>/ and fails the script.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build_dir=build-fuzz
targets=(task_document configuration date_text command_line)

scripts/install-deps.sh
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZYN_SANITIZE=address -DZYN_FUZZ=ON \
  -DZYN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build_dir" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Longest input per target: enough for every construct of its language, small enough to mutate.
max_len() {
  case "$1" in
    task_document) echo 16384 ;;
    configuration) echo 4096 ;;
    *) echo 512 ;;
  esac
}

failed=()
for target in "${targets[@]}"; do
  work="$build_dir/fuzz-corpus/$target"
  artifacts="$build_dir/fuzz-artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  seeds=("fuzz/corpus/$target")
  [ "$target" = task_document ] && seeds+=(tests/corpus/documents)
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$(max_len "$target")"
           -artifact_prefix="$artifacts" -print_final_stats=1)
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  echo "== fuzz_$target for ${seconds}s"
  if ! "$build_dir/fuzz/fuzz_$target" "${options[@]}" "$work" "${seeds[@]}"; then
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found problems in: ${failed[*]} (inputs in $build_dir/fuzz-artifacts/)" >&2
  exit 1
fi
