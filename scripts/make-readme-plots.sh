#!/usr/bin/env bash
# Regenerates the README's pictures from the repository:
#   docs/img/envelope.png  the demo decay channel (lattices/decay_channel.txt of
#                          demo/, every parameter at level 500, seed 1), the
#                          beam along the beamline from pelto-tool run --plot;
#   docs/img/progress.png  300 optimiser runs (seed 1) of the quick lattice
#                          tests/data/optimise/lattices/energy_windows.txt, from
#                          pelto-tool optimise --plot: a run of the demo channel
#                          takes seconds, and a progress picture needs hundreds.
# Uses PELTO_TOOL when set, else builds build/release. Runs in scratch copies
# of the folders, so nothing in demo/ or tests/ changes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${PELTO_TOOL:-}
if [ -z "$tool" ]; then
    cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DPELTO_TESTS=OFF >/dev/null
    cmake --build "$root/build/release" --target pelto-tool -j "$(nproc)"
    tool="$root/build/release/pelto-tool"
fi
tool=$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$root/docs/img"

cp -r "$root/demo" "$scratch/demo"
(cd "$scratch/demo" &&
    "$tool" run lattices/decay_channel.txt --seed 1 --level 500 --envelope envelope.csv \
        --every 0.1m --plot envelope.png >/dev/null)
cp "$scratch/demo/envelope.png" "$root/docs/img/envelope.png"

cp -r "$root/tests/data/optimise" "$scratch/optimise"
(cd "$scratch/optimise" &&
    "$tool" optimise lattices/energy_windows.txt --runs 300 --seed 1 --plot progress.png \
        >/dev/null 2>&1)
cp "$scratch/optimise/progress.png" "$root/docs/img/progress.png"
echo "Wrote docs/img/envelope.png and docs/img/progress.png"
