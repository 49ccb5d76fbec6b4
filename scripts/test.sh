#!/usr/bin/env bash
# Builds Pelto and runs every test: once in a normal debug build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
jobs=$(nproc)
for preset in debug asan; do
    case $preset in
        debug) flags=(-DCMAKE_BUILD_TYPE=Debug) ;;
        asan) flags=(-DCMAKE_BUILD_TYPE=Debug -DPELTO_SANITIZE=ON) ;;
    esac
    cmake -S "$root" -B "$root/build/$preset" "${flags[@]}" -DPELTO_BENCH=ON
    cmake --build "$root/build/$preset" -j "$jobs"
    (cd "$root/build/$preset" && ctest --output-on-failure -j "$jobs" --timeout 600)
done
