#!/usr/bin/env bash
# Output capture: how much longer a program that writes about 1 GB to its standard output takes
# when the command-line handler captures its output (a pipe drained while it writes, of which
# the last 16 KiB are kept) than when it writes to /dev/null. Each writer runs as a task through
# `zyntask run` (the handler in the client, waiting for the program and draining its pipe as
# zyntaskd's handler does), RUNS times each way: as it is, captured; with `> /dev/null` in its
# own shell; and, for what any pipe costs, with `| cat > /dev/null`. The time is the writer's
# own, taken by its shell around it; the script prints the median of each and the differences.
#   scripts/bench-capture.sh [runs, default 5] [build folder, default build-rel]
# Needs a build of zyntask and the library (cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release;
# ninja -C build-rel zyntask). Leaves its folder in /tmp.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
bin=$(cd "${2:-build-rel}" && pwd)
umask 022

. scripts/run-folder.sh
make_run_folder capture times
keep_agent_log_in_run_folder
echo "capture folder: $run"

# From no work per byte written (zeros in 128 KiB and 1 MiB writes) to some (the numbers as
# text, in 4 KiB writes) to more (random bytes as base64, 1 GiB of it).
declare -A writers=(
  [zeros]="head -c 1073741824 /dev/zero"
  [blocks]="dd if=/dev/zero bs=1M count=1024 status=none"
  [lines]="seq 1 120000000"
  [base64]="head -c 805306368 /dev/urandom | base64 -w 0"
)

# A task whose shell times WRITER (with REDIRECT) in nanoseconds into FILE.
task() {
  local name=$1 writer=$2 redirect=$3 file=$4
  cat <<XML
<Schedule Name="$name"><Task><Trigger Type="0"><BeginDate>2099-01-01 00:00:00</BeginDate></Trigger>
</Task><ApplicationName>/bin/sh</ApplicationName>
<Parameters>-c 's=\$(date +%s%N); $writer $redirect; e=\$(date +%s%N); echo \$((e - s)) &gt;&gt; $file'</Parameters></Schedule>
XML
}

uptime
for name in "${!writers[@]}"; do
  for way in captured devnull piped; do
    redirect=""
    [ "$way" = devnull ] && redirect="&gt; /dev/null"
    [ "$way" = piped ] && redirect="| cat &gt; /dev/null"
    task "$name-$way" "${writers[$name]}" "$redirect" "$run/times/$name-$way" > "$run/$name-$way.xml"
    "$bin/zyntask" --work-folder "$run/work" add "$run/$name-$way.xml" > /dev/null
  done
  for ((i = 0; i < runs; i++)); do
    for way in captured devnull piped; do
      "$bin/zyntask" --work-folder "$run/work" run "$name-$way" > /dev/null
    done
  done
done
uptime

python3 - "$run" <<'PY'
import statistics, sys
run = sys.argv[1]
for name in ("zeros", "blocks", "lines", "base64"):
    ways = ("devnull", "captured", "piped")
    times = {way: sorted(int(line) / 1e9 for line in open(f"{run}/times/{name}-{way}"))
             for way in ways}
    devnull, captured, piped = (statistics.median(times[w]) for w in ways)
    print(f"{name:7s} /dev/null {devnull:7.3f} s  captured {captured:7.3f} s "
          f"({(captured / devnull - 1) * 100:+6.1f} %)  | cat {piped:7.3f} s "
          f"({(piped / devnull - 1) * 100:+6.1f} %)")
    for way in ways:
        print(f"        {way:9s} {', '.join(f'{t:.3f}' for t in times[way])}")
PY
