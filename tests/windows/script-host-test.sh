#!/usr/bin/env bash
# The library as a script sees it, under Wine: registered by regsvr32, created and called by the
# system's script host, then unregistered, leaving none of its keys.
#   script-host-test.sh LIBRARY.dll SCRIPT.js   (run from the build folder)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
run="$here/../../cmake/wine-run.sh"
library="Z:$(realpath "$1" | tr / '\\')"
script="Z:$(realpath "$2" | tr / '\\')"

"$run" regsvr32 /s "$library"
trap '"$run" regsvr32 /u /s "$library" || true' EXIT
"$run" reg query 'HKCR\Kalvane.ZynTaskScheduler.1\CLSID' >/dev/null
output="$("$run" cscript //nologo "$script" | tr -d '\r')"
echo "$output"
grep -qx 'Enabled false' <<<"$output"
"$run" regsvr32 /u /s "$library"
trap - EXIT
if "$run" reg query 'HKCR\Kalvane.ZynTaskScheduler.1' >/dev/null 2>&1; then
  echo "the ProgID is still registered" >&2
  exit 1
fi
echo "registered, created, called and unregistered"
