#!/usr/bin/env bash
# The test command: installs what is missing, configures, builds and runs every test.
#   scripts/test.sh                       normal build in build/
#   scripts/test.sh --sanitize address    address and undefined-behaviour sanitizers
#   scripts/test.sh --sanitize thread     thread sanitizer
#   scripts/test.sh --thread-safety       clang's lock analysis (build only)
#   scripts/test.sh --windows             Windows build (mingw-w64) in build-windows/, tests
#                                         run under Wine; lists the tests not built for it
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
thread_safety=OFF
case "${1:-}" in
  "") ;;
  --sanitize) sanitize="${2:?address or thread}" ;;
  --thread-safety) thread_safety=ON ;;
  --windows)
    scripts/install-deps.sh --windows
    cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DZYN_BUILD_BENCHMARKS=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
    cmake --build build-windows
    echo "Tests not built for Windows, and why:"
    sed 's/^/  /' build-windows/tests-not-under-wine.txt
    ctest --test-dir build-windows --output-on-failure -j "$(nproc)"
    exit ;;
  *) echo "usage: $0 [--sanitize address|thread | --thread-safety | --windows]" >&2; exit 2 ;;
esac

scripts/install-deps.sh

build_dir=build
extra=()
if [ -n "$sanitize" ]; then
  build_dir="build-$sanitize"
  extra=(-DZYN_BUILD_BENCHMARKS=OFF)  # benchmarks measure the normal build only
elif [ "$thread_safety" = ON ]; then
  build_dir=build-thread-safety
  extra=(-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DZYN_BUILD_BENCHMARKS=OFF)
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZYN_SANITIZE="$sanitize" -DZYN_THREAD_SAFETY="$thread_safety" "${extra[@]}" >/dev/null
cmake --build "$build_dir"
[ "$thread_safety" = ON ] && exit 0

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
