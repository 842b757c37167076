#!/usr/bin/env bash
# The library as a script sees it, under Wine: registered by regsvr32, driven by the system's
# script host through a task's whole life in a temporary work folder, then unregistered,
# leaving none of its keys.
#   script-host-test.sh LIBRARY.dll SCRIPT.js   (run from the build folder)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
run="$here/../../cmake/wine-run.sh"
library="Z:$(realpath "$1" | tr / '\\')"
script="Z:$(realpath "$2" | tr / '\\')"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/work"
windows_path() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }

"$run" regsvr32 /s "$library"
trap '"$run" regsvr32 /u /s "$library" || true; rm -rf "$scratch"' EXIT
"$run" reg query 'HKCR\Kalvane.ZynTaskScheduler.1\CLSID' >/dev/null
status=0
"$run" cscript //nologo "$script" "$(windows_path "$scratch/work")" \
  "$(windows_path "$scratch/ran.txt")" | tr -d '\r' || status=$?
[ "$status" -eq 0 ] || { echo "the script failed ($status)" >&2; exit 1; }
"$run" regsvr32 /u /s "$library"
trap 'rm -rf "$scratch"' EXIT
if "$run" reg query 'HKCR\Kalvane.ZynTaskScheduler.1' >/dev/null 2>&1; then
  echo "the ProgID is still registered" >&2
  exit 1
fi
echo "registered, driven through a task's life and unregistered"
