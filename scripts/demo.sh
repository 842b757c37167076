#!/usr/bin/env bash
# The run command: installs and builds what is missing, then runs zyntaskd in the foreground on a
# fresh copy of demo/ with a registry of its own, so nothing of the machine's settings changes.
# Every record of the agent log is copied to the terminal; the tasks append lines to the
# output file named at the start. Ctrl-C stops the daemon.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target zyntaskd zyntask

. scripts/run-folder.sh
make_run_folder demo documents
output="$run/output.txt"
start_minute=$(date '+%Y-%m-%d %H:%M:00')
start_plus_one=$(date -d '+1 minute' '+%Y-%m-%d %H:%M:%S')

for document in demo/*.xml; do
  sed -e "s|@OUTPUT@|$output|g" -e "s|@START_MINUTE@|$start_minute|g" \
      -e "s|@START_PLUS_ONE_MINUTE@|$start_plus_one|g" "$document" \
      > "$run/documents/$(basename "$document")"
  build/zyntask --work-folder "$run/work" add "$run/documents/$(basename "$document")" >/dev/null
done

cat <<EOT
Demo folder: $run
Tasks:
$(build/zyntask --work-folder "$run/work" list)

Watch the tasks' output in another terminal:  tail -f $output
Ask the client while it runs:                 ZYN_REGISTRY=$ZYN_REGISTRY build/zyntask list
Stop with Ctrl-C.

EOT
exec build/zyntaskd --work-folder "$run/work" --logging on --foreground
