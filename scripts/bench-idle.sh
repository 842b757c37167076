#!/usr/bin/env bash
# What an idle daemon costs: zyntaskd with TASKS task files (default 10,000), none of them due for
# the next three hours, left alone for MINUTES minutes (default 3) once it has loaded them.
# Reports the processor time the daemon used over that span (user and system clock ticks from
# /proc/PID/stat) as a share of one core, and how often each of its threads woke up (voluntary
# context switches from /proc/PID/task/*/status), beside the number of scheduler cycles its debug
# records show ("Wait timeout: ...").
#   scripts/bench-idle.sh [tasks] [minutes] [build folder, default build-rel]
# Needs a build of zyntaskd (cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release; ninja -C
# build-rel zyntaskd). Leaves its folder in /tmp.
set -euo pipefail
cd "$(dirname "$0")/.."
tasks=${1:-10000}
minutes=${2:-3}
bin=${3:-build-rel}
umask 022  # the daemon loads only task files that group and others cannot write

. scripts/run-folder.sh
make_run_folder idle
# Debug records (the scheduler's "Wait timeout" at each cycle) on top of the default ones; no
# trace, which writes a record per task and cycle.
keep_agent_log_in_run_folder '"Severity"=dword:00000027'
echo "idle folder: $run"

# Daily tasks whose runs are spread over the hour that starts three hours from now.
python3 - "$run/work" "$tasks" <<'PY'
import datetime, sys, uuid
folder, count = sys.argv[1], int(sys.argv[2])
start = datetime.datetime.now().replace(microsecond=0) + datetime.timedelta(hours=3)
for index in range(count):
    at = start + datetime.timedelta(seconds=index * 3600 // count)
    with open(f"{folder}/{{{str(uuid.uuid4()).upper()}}}.xml", "w") as f:
        f.write(f"""<Schedule Name="idle-{index}"><Task>
<Trigger Type="1"><BeginDate>2026-01-01 {at:%H:%M:%S}</BeginDate></Trigger>
</Task><ApplicationName>/bin/true</ApplicationName></Schedule>
""")
PY

"$bin/zyntaskd" --work-folder "$run/work" --foreground 2> "$run/daemon.err" &
daemon=$!
trap 'kill -TERM $daemon 2>/dev/null || true' EXIT

# Loaded once the first cycle has computed its wait.
for _ in $(seq 1 600); do
  grep -q "Wait timeout" "$run/daemon.err" 2>/dev/null && break
  sleep 0.5
done
sleep 5

ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$daemon/stat"; }
switches() {
  for status in /proc/"$daemon"/task/*/status; do
    awk -v task="$(basename "$(dirname "$status")")" \
      '/^voluntary_ctxt_switches/ { v = $2 } /^nonvoluntary_ctxt_switches/ { n = $2 }
       END { print task, v, n }' "$status"
  done | sort -n
}
cycles() { grep -c "Wait timeout" "$run/daemon.err" || true; }

uptime
ticksBefore=$(ticks)
switches > "$run/switches.before"
cyclesBefore=$(cycles)
sleep $((minutes * 60))
ticksAfter=$(ticks)
switches > "$run/switches.after"
cyclesAfter=$(cycles)
uptime
kill -TERM $daemon
wait $daemon || true
trap - EXIT

hertz=$(getconf CLK_TCK)
seconds=$((minutes * 60))
awk -v used=$((ticksAfter - ticksBefore)) -v hz="$hertz" -v s="$seconds" 'BEGIN {
  printf "processor time over %d s: %d ticks (%.2f s), %.3f%% of one core\n",
         s, used, used / hz, 100 * used / hz / s }'
echo "scheduler cycles over that time: $((cyclesAfter - cyclesBefore))"
echo "wake-ups per thread over that time (voluntary, involuntary context switches):"
join "$run/switches.before" "$run/switches.after" |
  awk '{ printf "  thread %s: %d, %d\n", $1, $4 - $2, $5 - $3 }'
echo "the last waits:"
grep "Wait timeout" "$run/daemon.err" | tail -3
