#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, as CTest's emulator: wine-run.sh PROGRAM ARGS.
# The prefix lives in the build folder (WINEPREFIX, when set, wins) and is made once, for
# headless runs: the null display driver, no crash dialog. One wineserver and one idle Wine
# process stay up for the whole test run, so that each test neither pays the server's start
# nor has its output pipe held open by the desktop process that COM starts.
set -euo pipefail

build_dir="$(cd "$(dirname "$1")" && pwd)"
while [ "$build_dir" != / ] && [ ! -f "$build_dir/CMakeCache.txt" ]; do
  build_dir="$(dirname "$build_dir")"
done
export WINEPREFIX="${WINEPREFIX:-$build_dir/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

prepare_prefix() {
  [ -f "$WINEPREFIX/.zyn-ready" ] && return 0
  wine wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1
  wineserver -k || true
  touch "$WINEPREFIX/.zyn-ready"
}

keep_wine_up() {
  wineserver -p 2>/dev/null || true
  # An idle process that owns the desktop; wineserver -k (or the end of the server) ends it.
  if [ ! -f "$WINEPREFIX/.zyn-idle" ] || ! kill -0 "$(cat "$WINEPREFIX/.zyn-idle")" 2>/dev/null; then
    setsid wine explorer.exe /desktop=zyn,1x1 </dev/null >/dev/null 2>&1 &
    echo $! >"$WINEPREFIX/.zyn-idle"
  fi
}

mkdir -p "$WINEPREFIX"
# Whatever starts under the lock must not inherit it: the server and the idle process outlive
# this script.
(
  flock 9
  prepare_prefix 9>&-
  keep_wine_up 9>&-
) 9>"$build_dir/.wine-run.lock"

exec wine "$@"
