# Sourced by the scripts that start a daemon of their own: a fresh folder in /tmp holding the
# work folder and the registry (ZYN_REGISTRY), so that nothing outside it is touched.
#   make_run_folder NAME [SUBFOLDER...]     sets and exports what the folder holds; $run is it
#   keep_agent_log_in_run_folder [LINE...]  the agent log goes to $run/log, with the settings
#                                           LINEs (registry file lines) on top of the defaults

make_run_folder() {
  local name=$1
  shift
  run=$(mktemp -d "${TMPDIR:-/tmp}/zyntask-$name.XXXXXX")
  export ZYN_REGISTRY="$run/registry"
  local folder
  for folder in work "$@"; do
    mkdir -m 0700 "$run/$folder"
  done
}

keep_agent_log_in_run_folder() {
  mkdir -p -m 0700 "$run/registry" "$run/log"
  {
    echo '[Software\Kalvane\Kalvane Agent\Event Logging\logfile]'
    echo "\"FilePath\"=\"$run/log\""
    printf '%s\n' "$@"
  } > "$run/registry/HKEY_LOCAL_MACHINE.reg"
}
