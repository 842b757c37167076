#!/usr/bin/env bash
# Whole-process cost of listing run times: `zyntask next FILE --count N` for four task documents
# beside `systemd-analyze calendar --iterations=N` for the equivalent calendar expressions.
# Each tool runs at two counts; the time per occurrence is the slope between them (so process
# start-up and loading drop out), taken per run, median over the runs. Both run with TZ unset,
# as a service runs, and with their output discarded.
#
#   scripts/bench-next.sh [--build DIR] [--runs R]
#
# DIR is the build folder holding zyntask and libZynTaskSchedulerLib.so (default build-rel, a
# Release build). zyntask counts 10,000 and 90,000 runs (the last Monday of the month stays
# below the year 9999 with 90,000). systemd-analyze stops at the end of 2199, so it counts 10%
# and 90% of the occurrences it can list from now. zyntask gets a registry of its own in a
# temporary folder; nothing else is touched.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-rel"
runs=5
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--runs R]" >&2; exit 2 ;;
  esac
done
zyntask="$build/zyntask"
[[ -x "$zyntask" ]] || { echo "no zyntask in $build (ninja -C $build zyntask)" >&2; exit 1; }
command -v systemd-analyze > /dev/null || { echo "systemd-analyze is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/bench-next.XXXXXX)
trap 'rm -rf "$work"' EXIT
export ZYN_REGISTRY="$work/registry"
unset TZ

names=(daily mon-fri days-1-15 last-monday)
expressions=('*-*-* 08:05:00' 'Mon,Fri *-*-* 08:05:00' '*-*-01,15 06:00:00' 'Mon *-*~07/1 08:00')
triggers=(
  '<Trigger Type="1"><BeginDate>2026-01-01 08:05:00</BeginDate></Trigger>'
  '<Trigger Type="2"><BeginDate>2026-01-01 08:05:00</BeginDate><DaysOfWeek>34</DaysOfWeek></Trigger>'
  '<Trigger Type="3"><BeginDate>2026-01-01 06:00:00</BeginDate><DaysOfMonth>16385</DaysOfMonth></Trigger>'
  '<Trigger Type="4"><BeginDate>2026-01-01 08:00:00</BeginDate><Week>5</Week><DaysOfWeek>2</DaysOfWeek></Trigger>'
)
for i in "${!names[@]}"; do
  echo "<Schedule Name=\"${names[$i]}\"><Task>${triggers[$i]}</Task></Schedule>" \
    > "$work/${names[$i]}.xml"
done

small=10000
large=90000
after="2026-01-01 00:00:00"

# Wall-clock seconds of one command, its output discarded.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null
  end=$(date +%s%N)
  echo "$(( end - start ))e-9"
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Nanoseconds per occurrence between `small` and `large` for the command, median over the
# runs; prints "<slope ns> <median seconds at large>".
slope() {
  local small=$1 large=$2
  shift 2
  local slopes=() totals=() t1 t2
  for ((run = 0; run < runs; ++run)); do
    t1=$(seconds "$@" "$small")
    t2=$(seconds "$@" "$large")
    slopes+=("$(awk -v a="$t1" -v b="$t2" -v n="$small" -v m="$large" \
      'BEGIN { printf "%.1f", (b - a) / (m - n) * 1e9 }')")
    totals+=("$(awk -v b="$t2" 'BEGIN { printf "%.3f", b }')")
  done
  echo "$(printf '%s\n' "${slopes[@]}" | median) $(printf '%s\n' "${totals[@]}" | median)"
}

zyntask_next() { "$zyntask" next "$1" --after "$after" --count "$2"; }
calendar() { systemd-analyze calendar "$1" --iterations="$2"; }

# The first run registers the library in the temporary registry; it is not measured.
[[ $(zyntask_next "$work/daily.xml" 3 | wc -l) -eq 3 ]] || { echo "zyntask next failed" >&2; exit 1; }

echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg), $runs runs"
echo "# ns per occurrence (slope, median); whole-process seconds at the larger count (median)"
format='%-12s %11s %11s %7s %9s %11s %7s %11s\n'
printf "$format" schedule "zyntask ns" "systemd ns" ratio "zyntask N" "zyntask s" \
  "sd N" "systemd s"
for i in "${!names[@]}"; do
  file="$work/${names[$i]}.xml"
  expression=${expressions[$i]}
  lines=$(zyntask_next "$file" "$large" | wc -l)
  [[ $lines -eq $large ]] || { echo "${names[$i]}: zyntask listed $lines runs" >&2; exit 1; }
  # One line per occurrence systemd-analyze lists names it.
  limit=$(calendar "$expression" 1000000 | grep -c 'Iter\.\|Next elapse')
  read -r zns zsec <<< "$(slope "$small" "$large" zyntask_next "$file")"
  read -r sns ssec <<< "$(slope $((limit / 10)) $((limit * 9 / 10)) calendar "$expression")"
  ratio=$(awk -v z="$zns" -v s="$sns" 'BEGIN { printf "%.1f", s / z }')
  printf "$format" "${names[$i]}" "$zns" "$sns" "$ratio" "$large" "$zsec" \
    "$((limit * 9 / 10))" "$ssec"
done
