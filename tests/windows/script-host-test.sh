#!/usr/bin/env bash
# The library as a script sees it, under Wine: registered by regsvr32, driven by the system's
# script host through a task's whole life in a temporary work folder, then unregistered,
# leaving none of its keys.
#   script-host-test.sh LIBRARY.dll SCRIPT.js   (run from the build folder)
source "$(dirname "$0")/wine-test.sh"
library="$(windows_path "$1")"
script="$(windows_path "$2")"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/work"

"$run" regsvr32 /s "$library"
trap '"$run" regsvr32 /u /s "$library" || true; rm -rf "$scratch"' EXIT
# The keys of a class, of the type library and of an interface the type library describes.
keys=('HKCR\Kalvane.ZynTaskScheduler.1\CLSID'
      'HKCR\CLSID\{2C343ED8-6A4C-46F8-82E4-85B2130821A5}\InprocServer32'
      'HKCR\TypeLib\{1090FD27-D21A-4284-9AA0-BA12E29C4B6A}\1.0'
      'HKCR\Interface\{4FBA34B9-704D-4113-A720-6ACB53599B86}\TypeLib')
for key in "${keys[@]}"; do
  "$run" reg query "$key" >/dev/null || { echo "not registered: $key" >&2; exit 1; }
done
status=0
"$run" cscript //nologo "$script" "$(windows_path "$scratch/work")" \
  "$(windows_path "$scratch/ran.txt")" | tr -d '\r' || status=$?
[ "$status" -eq 0 ] || { echo "the script failed ($status)" >&2; exit 1; }
"$run" regsvr32 /u /s "$library"
trap 'rm -rf "$scratch"' EXIT
for key in "${keys[@]}"; do
  if "$run" reg query "${key%\\*}" >/dev/null 2>&1; then
    echo "still registered: ${key%\\*}" >&2
    exit 1
  fi
done
echo "registered, driven through a task's life and unregistered"
