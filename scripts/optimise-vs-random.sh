#!/usr/bin/env bash
# The optimiser against chance on a lattice whose score is a known function
# of its parameters (tests/data/optimise/lattices/energy_windows.txt): for
# each seed, `pelto-tool optimise --runs N` once with the configured trial
# types and once with Random only, each in a fresh program folder under
# run/optimise/. Prints the best score of each series.
# Usage: scripts/optimise-vs-random.sh [RUNS [SEEDS...]]   (default: 200, seeds 1 to 6)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${PELTO_TOOL:-$root/build/release/pelto-tool}
runs=${1:-200}
shift || true
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2 3 4 5 6)
[ -x "$tool" ] || { echo "No $tool: build the release preset first (or set PELTO_TOOL)" >&2; exit 1; }

only_random="TrialType ratios: Random=1;Mutate=0;Crossover=0;Interpolate=0;Extrapolate=0;"
only_random+="MuSpherical=0;MuOne=0;Extreme=0;LocalGrad=0;TopoSmooth=0;CellDouble=0;"
only_random+="CellDelete=0;CellCommute=0;Parzen=0;Covariance=0;Rerun=0;Shift=0;"

best_of() {  # folder, seed -> the last BEST-SO-FAR
    (cd "$1" && "$tool" optimise lattices/energy_windows.txt --runs "$runs" --seed "$2" \
        --threads 1 2>/dev/null) | awk 'NF == 4 && $1 ~ /^[0-9]+$/ { best = $4 } END { print best }'
}

printf "%-6s %-16s %-16s\n" seed optimiser random
for seed in "${seeds[@]}"; do
    for kind in optimiser random; do
        folder="$root/run/optimise/$kind-$seed"
        rm -rf "$folder"
        mkdir -p "$folder"
        cp -r "$root/tests/data/optimise/." "$folder/"
        [ "$kind" = random ] && echo "$only_random" > "$folder/config.txt"
    done
    printf "%-6s %-16s %-16s\n" "$seed" "$(best_of "$root/run/optimise/optimiser-$seed" "$seed")" \
        "$(best_of "$root/run/optimise/random-$seed" "$seed")"
done
