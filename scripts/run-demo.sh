#!/usr/bin/env bash
# Builds Pelto and runs it on the bundled demo in a scratch program folder
# (run/demo), offline. Extra arguments are passed to pelto (default: -c).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DPELTO_TESTS=OFF
cmake --build "$root/build/release" -j "$(nproc)"
folder="$root/run/demo"
mkdir -p "$folder"
# The demo folder is copied fresh each time, but results and settings the
# program wrote in earlier runs are kept.
cp -r -n "$root/demo/." "$folder/"
cp "$root/build/release/pelto" "$folder/pelto"
[ -f "$root/build/release/pelto-tool" ] && cp "$root/build/release/pelto-tool" "$folder/"
cd "$folder"
if [ $# -eq 0 ]; then set -- -c; fi
exec ./pelto "$@"
