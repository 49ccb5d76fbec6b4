#!/usr/bin/env bash
# The optimiser's benchmark: `pelto-tool optimise` on lattices whose score is
# a known function of their parameters (bench/optimise/lattices and
# tests/data/optimise/lattices), over several seeds, each series in a fresh
# program folder under run/optimise-benchmark/. Prints, per lattice, the runs
# it took to reach 90 % of the peak score (99.8) and the best score after 100,
# 200 and 400 runs for every seed, then the median runs to 90 %.
# With --reference, CMA-ES and TPE run on the same problems
# (scripts/optimise-reference.py; add --direct there for the score functions
# without tracking).
# Usage: scripts/optimise-benchmark.sh [--reference] [RUNS [SEEDS...]]
#        (default: 400 runs, seeds 1 to 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${PELTO_TOOL:-$root/build/release/pelto-tool}
reference=0
if [ "${1:-}" = --reference ]; then reference=1; shift; fi
runs=${1:-400}
shift || true
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2 3 4 5)
[ -x "$tool" ] || { echo "No $tool: build the release preset first (or set PELTO_TOOL)" >&2; exit 1; }
lattices=(energy_windows interior_windows centred_windows coupled_windows twelve_windows)

folder_for() {  # lattice, kind, seed -> a fresh program folder
    local folder="$root/run/optimise-benchmark/$1-$2-$3"
    rm -rf "$folder"
    mkdir -p "$folder"
    cp -r "$root/tests/data/optimise/." "$folder/"
    cp -r "$root/bench/optimise/lattices/." "$folder/lattices/"
    echo "$folder"
}

series() {  # folder, lattice, seed -> "RUNS-TO-90 (BEST@100 BEST@200 BEST@400)"
    (cd "$1" && "$tool" optimise "lattices/$2.txt" --runs "$runs" --seed "$3" --threads 1 \
        2>/dev/null) | awk -v peak=99.8 '
        NF == 4 && $1 ~ /^[0-9]+$/ {
            if (!hit && $4 >= 0.9 * peak) hit = $1
            if ($1 == 100 || $1 == 200 || $1 == 400) at = at sprintf(" %5.1f", $4)
        }
        END { printf "%5s (%s)", hit ? hit : "never", substr(at, 2) }'
}

for lattice in "${lattices[@]}"; do
    line=$(printf "%-18s %-10s" "$lattice" Pelto)
    counts=()
    for seed in "${seeds[@]}"; do
        cell=$(series "$(folder_for "$lattice" pelto "$seed")" "$lattice" "$seed")
        line+=" $cell "
        first=${cell%% *}
        [ -z "$first" ] && first=$(echo "$cell" | awk '{print $1}')
        counts+=("$( [ "$first" = never ] && echo 1000000 || echo "$first")")
    done
    median=$(printf "%s\n" "${counts[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    [ "$median" = 1000000 ] && median=never
    echo "$line median $median"
    if [ "$reference" = 1 ]; then
        /usr/bin/python3 "$root/scripts/optimise-reference.py" \
            "$(folder_for "$lattice" reference 0)" "$lattice" --runs "$runs" \
            --seeds "$(IFS=,; echo "${seeds[*]}")" --tool "$tool"
    fi
done
