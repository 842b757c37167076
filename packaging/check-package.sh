#!/usr/bin/env bash
# Builds the Debian package of a build folder and checks what it installs: the programs, the
# library, the headers, the systemd unit, the folders with their owners and modes, and that the
# installed programs find the installed library. Usage: check-package.sh BUILD_DIR
set -euo pipefail
build_dir=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build_dir" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log") ||
  { cat "$scratch/cpack.log"; exit 1; }
package=$(ls "$scratch"/out/zyntask_*.deb)
dpkg-deb -c "$package" | awk '{print $1, $2, $6}' >"$scratch/contents"

failures=0
expect() {  # mode owner path
  if ! grep -qxF -e "$1 $2 $3" "$scratch/contents"; then
    echo "missing from the package: $1 $2 $3"
    failures=$((failures + 1))
  fi
}
expect -rwxr-xr-x root/root ./usr/bin/zyntaskd
expect -rwxr-xr-x root/root ./usr/bin/zyntask
expect -rw-r--r-- root/root ./usr/lib/libZynTaskSchedulerLib.so
expect -rw-r--r-- root/root ./usr/lib/libZynPlatform.so
expect -rw-r--r-- root/root ./usr/include/ZynTaskSchedulerLib/ZynTaskSchedulerLib.h
expect -rw-r--r-- root/root ./usr/lib/systemd/system/zyntaskd.service
expect drwxr-xr-x root/root ./var/lib/zyntask/
expect drwxr-xr-x root/root ./var/lib/zyntask/registry/
expect drwx------ root/root ./var/lib/zyntask/tasks/
expect drwxr-xr-x root/root ./var/log/zyntask/

depends=$(dpkg-deb -f "$package" Depends)
for library in libpugixml libsystemd0 libstdc++6; do
  [[ "$depends" == *"$library"* ]] || { echo "Depends lacks $library: $depends"; failures=$((failures + 1)); }
done

dpkg-deb -x "$package" "$scratch/root"
unit="$scratch/root/usr/lib/systemd/system/zyntaskd.service"
grep -qx "ExecStart=/usr/bin/zyntaskd" "$unit" || { echo "unit starts: $(grep ExecStart "$unit")"; failures=$((failures + 1)); }
grep -qx "Type=notify" "$unit" || { echo "unit is not Type=notify"; failures=$((failures + 1)); }

# The installed client registers the installed library in a registry of its own and computes
# a run through it.
cat >"$scratch/task.xml" <<'XML'
<Schedule Name="check"><Task><Triggers><Trigger Type="0"><BeginDate>2030-01-01 08:00:00</BeginDate></Trigger></Triggers></Task><ApplicationName>/bin/true</ApplicationName></Schedule>
XML
next=$(ZYN_REGISTRY="$scratch/registry" "$scratch/root/usr/bin/zyntask" \
         --work-folder "$scratch/work" next "$scratch/task.xml")
[[ "$next" == "2030-01-01 08:00:00"* ]] || { echo "installed zyntask answered: $next"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "package checked: $package"
[ "$failures" -eq 0 ]
