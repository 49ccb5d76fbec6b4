#!/usr/bin/env bash
# Builds Pelto and runs every test: once in a normal debug build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash "$root/scripts/install-deps.sh"
jobs=$(nproc)
for preset in debug asan; do
    # The build types and sanitizer flags of each preset live in CMakePresets.json.
    cmake --preset "$preset" -DPELTO_BENCH=ON
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs" --timeout 600
done
