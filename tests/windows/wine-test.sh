# What the tests of tests/windows share, sourced by each: `run` runs a Windows program under
# the build's Wine, `windows_path` names a Linux path as Windows programs see it (drive Z:), and
# `scratch` is a temporary folder the test removes when it ends.
set -euo pipefail
run="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/../../cmake/wine-run.sh"
windows_path() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
scratch="$(mktemp -d)"
