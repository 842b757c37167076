#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
#   scripts/install-deps.sh [PACKAGE...]   the Linux build, and the packages named
#                                          (scripts/coverage.sh asks for gcovr)
#   scripts/install-deps.sh --windows      the Windows cross build and Wine to run it
set -euo pipefail

# libclang-rt-dev holds clang's fuzzer driver (scripts/fuzz.sh); clang only recommends it.
# libsystemd-dev tells the service manager the daemon is ready; dpkg-dev finds the package's
# dependencies (cpack -G DEB). faketime lets the daemon tests run the daemon through changes of
# the clock; tzdata holds the zones they change in.
packages=(cmake ninja-build g++ clang libclang-rt-dev pkg-config libgtest-dev libgmock-dev
          libbenchmark-dev libpugixml-dev libsystemd-dev dpkg-dev faketime tzdata "$@")
# The posix flavour of the cross compiler gives std::thread; mingw-w64-tools holds widl, the
# type-library compiler, which reads the system's interface definitions from libwine-dev;
# googletest is the framework's source, built with the cross compiler.
if [ "${1:-}" = --windows ]; then
  packages=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev wine
            googletest)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
run_as_root=()
[ "$(id -u)" -eq 0 ] || run_as_root=(sudo)
"${run_as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${run_as_root[@]}" apt-get install -y -qq "${missing[@]}"
