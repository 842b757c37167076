#!/usr/bin/env bash
# The daemon as the system's service, under Wine: installed by zyntaskd.exe, started and
# stopped by the service manager, running a task that zyntask.exe stores while it runs, then
# removed again.
#   service-test.sh ZYNTASKD.exe ZYNTASK.exe   (run from the build folder)
source "$(dirname "$0")/wine-test.sh"
daemon="$(realpath "$1")"
client="$(realpath "$2")"
service=ZynTaskScheduler
cleanup() {
  "$run" net stop "$service" >/dev/null 2>&1 || true
  "$run" "$daemon" --uninstall-service >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
state() { "$run" sc query "$service" 2>/dev/null | tr -d '\r' | awk '$1 == "STATE" {print $4}'; }
# The manager's start and stop may answer before the service reports its new state.
reaches() {
  for _ in $(seq 1 60); do
    [ "$(state)" = "$1" ] && return 0
    sleep 1
  done
  return 1
}
fail() { echo "$*" >&2; exit 1; }

"$run" "$daemon" --install-service --work-folder "$(windows_path "$scratch/work")"
"$run" net start "$service" >/dev/null
reaches RUNNING || fail "the service is $(state) after its start"

# Due a little after the client stores it, in the local time the scheduler reads (the host's).
due="$(date -d '+20 seconds' '+%Y-%m-%d %H:%M:%S')"
cat >"$scratch/task.xml" <<TASK
<Schedule Name="marker"><Task><Triggers><Trigger Type="0" Interval="0" Duration="0"><BeginDate>$due</BeginDate></Trigger></Triggers><ApplicationName>cmd.exe</ApplicationName><Parameters>/c echo ran&gt;$(windows_path "$scratch/ran.txt")</Parameters></Task></Schedule>
TASK
"$run" "$client" add "$(windows_path "$scratch/task.xml")" >/dev/null
for _ in $(seq 1 60); do
  [ -f "$scratch/ran.txt" ] && break
  sleep 2
done
[ -f "$scratch/ran.txt" ] || fail "the service did not run the task due at $due"

"$run" net stop "$service" >/dev/null
reaches STOPPED || fail "the service is $(state) after its stop"
"$run" sc query "$service" | tr -d '\r' | grep -q "SERVICE_EXIT_CODE *: 0 " ||
  fail "the service stopped with a failure: $("$run" sc query "$service")"
"$run" "$daemon" --uninstall-service
echo "installed, started, ran a task, stopped and removed"
