#!/usr/bin/env bash
# Line coverage of the production code by the whole test suite, layer by layer.
# Builds without optimisation in build-coverage/ (so that every line counts where it stands),
# runs every test, then prints a table: for each layer the lines with code, those the tests
# ran, and the share. A per-file listing goes to build-coverage/coverage.txt.
#   scripts/coverage.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh gcovr

build_dir=build-coverage
flags=()
for kind in CXX C EXE_LINKER SHARED_LINKER MODULE_LINKER; do
  flags+=("-DCMAKE_${kind}_FLAGS=--coverage")
done
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZYN_BUILD_BENCHMARKS=OFF \
  "${flags[@]}" >/dev/null
cmake --build "$build_dir"
find "$build_dir" -name '*.gcda' -delete
# A test that fails still counts what it ran; the table says how many failed.
ctest --test-dir "$build_dir" -j "$(nproc)" >"$build_dir/ctest.txt" 2>&1 || true
grep -E "tests passed|tests failed" "$build_dir/ctest.txt"

# Production code only: the test programs, test helpers and test plug-ins are left out.
gcovr --root . --object-directory "$build_dir" --filter 'src/' --filter 'apps/' \
  --exclude '.*_test\.cpp' --exclude '.*TestSupport\.(h|cpp)' --exclude 'src/support/testplugin/' \
  --json-summary "$build_dir/coverage.json" --txt "$build_dir/coverage.txt" >/dev/null
python3 - "$build_dir/coverage.json" <<'PY'
import json, sys
layers = {}
for entry in json.load(open(sys.argv[1]))["files"]:
    parts = entry["filename"].split("/")
    layer = parts[1] if parts[0] == "src" else "apps"
    total, covered = layers.get(layer, (0, 0))
    layers[layer] = (total + entry["line_total"], covered + entry["line_covered"])
order = ["platform", "support", "tasks", "engine", "execution", "automation", "apps"]
print("| layer | lines with code | lines run by the tests | share |")
print("| --- | ---: | ---: | ---: |")
for layer in sorted(layers, key=lambda name: order.index(name) if name in order else 99):
    total, covered = layers[layer]
    print(f"| {layer} | {total} | {covered} | {100 * covered / total:.1f}% |")
total = sum(t for t, _ in layers.values())
covered = sum(c for _, c in layers.values())
print(f"| all | {total} | {covered} | {100 * covered / total:.1f}% |")
PY
