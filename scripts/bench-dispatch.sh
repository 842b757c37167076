#!/usr/bin/env bash
# Dispatch lateness: zyntaskd with 200 tasks due at 200 distinct seconds, each repeating every
# four minutes (a repetition window of Interval 4, so the 200 seconds never meet), for MINUTES
# minutes (default 9: two rounds of 200 runs). Every run appends the time it started at, to the
# nanosecond, to its task's file (`/bin/sh -c "date +%s.%N >> FILE"`). Lateness is that time
# minus the due second; the script prints its median, 90th and 99th percentiles and maximum in
# milliseconds, the same for the moments the agent log shows the run queued by the scheduler
# and its handler back in the task processor, and, for comparison, what starting the same
# command costs a plain loop.
#   scripts/bench-dispatch.sh [minutes] [build folder, default build-rel]
# Needs a build of zyntaskd (cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release; ninja -C
# build-rel zyntaskd). Leaves its folder in /tmp.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-9}
bin=${2:-build-rel}
tasks=200
umask 022  # the daemon loads only task files that group and others cannot write

. scripts/run-folder.sh
make_run_folder dispatch starts
# The default records (queueing and running), in files large enough to keep every run's.
keep_agent_log_in_run_folder '"MaxSize"=dword:00002000'
echo "dispatch folder: $run"

# The first task is due 40 seconds from now (time to start and load), the others one second
# apart after it.
first=$(($(date +%s) + 40))
python3 - "$run" "$tasks" "$first" <<'PY'
import datetime, sys, uuid
run, count, first = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for index in range(count):
    at = datetime.datetime.fromtimestamp(first + index)
    with open(f"{run}/work/{{{str(uuid.uuid4()).upper()}}}.xml", "w") as f:
        f.write(f"""<Schedule Name="dispatch-{index}"><Task>
<Trigger Type="1" Interval="4" Duration="1436"><BeginDate>{at:%Y-%m-%d %H:%M:%S}</BeginDate></Trigger>
</Task><ApplicationName>/bin/sh</ApplicationName>
<Parameters>-c "date +%s.%N &gt;&gt; {run}/starts/{index}"</Parameters></Schedule>
""")
PY

"$bin/zyntaskd" --work-folder "$run/work" --threads 8 2> "$run/daemon.err" &
daemon=$!
trap 'kill -TERM $daemon 2>/dev/null || true' EXIT
uptime
sleep $((minutes * 60))
uptime
kill -TERM $daemon
wait $daemon || true
trap - EXIT

# The same command started by a shell loop, each start timed from just before the fork.
python3 - "$run" <<'PY'
import subprocess, sys, time
run = sys.argv[1]
costs = []
for _ in range(50):
    before = time.time()
    subprocess.run(["/bin/sh", "-c", f"date +%s.%N > {run}/probe"], check=True)
    costs.append((float(open(f"{run}/probe").read()) - before) * 1000)
costs.sort()
print(f"command start from a shell loop: median {costs[len(costs) // 2]:.1f} ms, "
      f"max {costs[-1]:.1f} ms")
PY

python3 - "$run" "$tasks" "$first" <<'PY'
import datetime, glob, os, re, statistics, sys
run, count, first = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
period = 240

def due_of(index, moment):
    return first + index + period * round((moment - first - index) / period)

# Which task is which: the work folder's file names against the names in the documents.
index_of = {}
for path in glob.glob(f"{run}/work/*.xml"):
    name = re.search(r'Name="dispatch-(\d+)"', open(path).read())
    index_of[os.path.basename(path)[:-4]] = int(name.group(1))

# When the scheduler queued each run and when the processor had started it, from the agent log.
stamp = re.compile(r"<event date='(\d\d)/(\d\d)/(\d{4}) (\d\d):(\d\d):(\d\d)\.(\d{7})")
marks = {"Queueing task ": [], "Executing due task ": []}
for path in sorted(glob.glob(f"{run}/log/*.log")):
    for record in open(path, errors="replace").read().split("</event>"):
        found = stamp.search(record)
        for mark, moments in marks.items():
            text = re.search(re.escape(mark) + r"(\{[0-9A-F-]+\})", record)
            if found and text and text.group(1) in index_of:
                month, day, year, hour, minute, second, ticks = map(int, found.groups())
                moment = datetime.datetime(year, month, day, hour, minute, second).timestamp()
                moments.append((index_of[text.group(1)], moment + ticks / 1e7))

late, missing = [], 0
for index in range(count):
    path = f"{run}/starts/{index}"
    starts = [float(s) for s in open(path).read().split()] if os.path.exists(path) else []
    missing += starts == []
    late += [(start - due_of(index, start)) * 1000 for start in starts]

def report(what, values):
    values = sorted(values)
    if not values:
        print(f"{what}: no samples")
        return
    at = lambda share: values[min(len(values) - 1, int(len(values) * share))]
    print(f"{what} ({len(values)} runs): median {at(0.5):.1f} ms, p90 {at(0.9):.1f} ms, "
          f"p99 {at(0.99):.1f} ms, max {values[-1]:.1f} ms")

print(f"runs: {len(late)} of {count} tasks ({missing} never ran)")
report("command start after the due second", late)
report("queued after the due second", [(m - due_of(i, m)) * 1000 for i, m in marks["Queueing task "]])
report("handler returned after the due second",
       [(m - due_of(i, m)) * 1000 for i, m in marks["Executing due task "]])
PY
