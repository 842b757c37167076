#!/usr/bin/env bash
# Soak run (not part of CI): zyntaskd with 2,000 tasks that each run every minute, spread over
# the seconds of the minute, while a client adds and deletes other tasks in a loop. Samples the
# daemon's resident memory, descriptors and zombie children every 10 seconds, and at the end
# counts, for every task, the minutes in which it did not run.
#   scripts/soak.sh [minutes, default 10] [tasks, default 2000]
# Needs a build (scripts/test.sh or scripts/demo.sh makes one). Leaves its folder in /tmp.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
tasks=${2:-2000}
# The daemon loads only task files that group and others cannot write.
umask 022

. scripts/run-folder.sh
make_run_folder soak runs documents bin
echo "soak folder: $run"
# A copy of the programs and libraries, so that a rebuild meanwhile changes nothing here.
bin="$run/bin"
cp build/zyntaskd build/zyntask build/libZynTaskSchedulerLib.so \
   build/src/platform/libZynPlatform.so "$bin/"
export LD_LIBRARY_PATH="$bin"

# Every task runs every minute of the day from its own second; each run appends the second it
# started at to the task's own file.
python3 - "$run" "$tasks" <<'PY'
import sys, uuid, os
run, count = sys.argv[1], int(sys.argv[2])
for index in range(count):
    identity = "{" + str(uuid.uuid4()).upper() + "}"
    second = index % 60
    document = f"""<Schedule Name="soak-{index}"><Task>
<Trigger Type="1" Interval="1" Duration="1439"><BeginDate>2026-01-01 00:00:{second:02d}</BeginDate></Trigger>
</Task><ApplicationName>/bin/sh</ApplicationName>
<Parameters>-c "date +%s &gt;&gt; {run}/runs/{index}"</Parameters></Schedule>
"""
    with open(f"{run}/work/{identity}.xml", "w") as f:
        f.write(document)
PY

$bin/zyntaskd --work-folder "$run/work" --threads 16 --queue-size 500 2> "$run/daemon.err" &
daemon=$!
trap 'kill -TERM $daemon 2>/dev/null || true' EXIT
sleep 5

# A client adding and deleting tasks of its own all the while.
(
  index=0
  while kill -0 $daemon 2>/dev/null; do
    cat > "$run/documents/churn.xml" <<EOT
<Schedule Name="churn-$index"><Task><Trigger Type="0"><BeginDate>2099-01-01 00:00:00</BeginDate></Trigger></Task><ApplicationName>/bin/true</ApplicationName></Schedule>
EOT
    $bin/zyntask --work-folder "$run/work" add "$run/documents/churn.xml" > /dev/null || true
    $bin/zyntask --work-folder "$run/work" delete "churn-$index" > /dev/null || true
    index=$((index + 1))
  done
) &
churn=$!

start=$(date +%s)
end=$((start + minutes * 60))
echo "time_s rss_kb fds zombies" > "$run/samples.txt"
while [ "$(date +%s)" -lt "$end" ]; do
  rss=$(awk '/VmRSS/ {print $2}' /proc/$daemon/status)
  fds=$(ls /proc/$daemon/fd | wc -l)
  zombies=$(ps -o stat= --ppid $daemon | grep -c '^Z' || true)
  echo "$(( $(date +%s) - start )) $rss $fds $zombies" >> "$run/samples.txt"
  sleep 10
done
kill -TERM $daemon
wait $daemon && echo "daemon exit status 0" || echo "daemon exit status $?"
kill $churn 2>/dev/null || true
trap - EXIT

# Whole minutes inside the run (the first and last are partial) in which a task did not run.
python3 - "$run" "$tasks" "$start" "$end" <<'PY'
import sys, os
run, count, start, end = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
first, last = start // 60 + 2, end // 60 - 1
missed, late = 0, []
for index in range(count):
    path = f"{run}/runs/{index}"
    seconds = [int(s) for s in open(path).read().split()] if os.path.exists(path) else []
    minutes = {s // 60 for s in seconds}
    missed += sum(1 for m in range(first, last + 1) if m not in minutes)
    late += [s % 60 - index % 60 for s in seconds if first <= s // 60 <= last]
late.sort()
print(f"minutes checked: {last - first + 1}, runs expected: {count * (last - first + 1)}, missed: {missed}")
if late:
    print(f"start lateness in seconds: median {late[len(late) // 2]}, p99 {late[int(len(late) * 0.99)]}, max {late[-1]}")
PY
echo "samples (time, resident kB, descriptors, zombies):"
cat "$run/samples.txt"
