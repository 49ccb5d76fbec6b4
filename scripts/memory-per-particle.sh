#!/usr/bin/env bash
# Memory per tracked particle: `pelto-tool run` on the demo's decay channel
# with a small and a large beam (the rod's lines times SMALL and LARGE time
# copies), and the growth of the maximum resident set between them divided
# by the particles added. Fixed costs (code, lattice, data files) cancel, so
# the figure is what each particle of a large beam costs.
# Usage: scripts/memory-per-particle.sh
#        (environment: PELTO_TOOL, SMALL=4, LARGE=16, TMAX=10ns, THREADS=1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${PELTO_TOOL:-$root/build/release/pelto-tool}
small=${SMALL:-4}
large=${LARGE:-16}
tmax=${TMAX:-10ns}
threads=${THREADS:-1}
[ -x "$tool" ] || { echo "No $tool: build the release preset first (or set PELTO_TOOL)" >&2; exit 1; }
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cp -r "$root/demo/." "$folder/"
lines=$(($(wc -l < "$folder/datafiles/rod_piplus.csv") - 1))

run_kb() {  # time copies -> maximum resident set in KiB
    local command=("$tool" run lattices/decay_channel.txt --seed 1 --level 500 --threads "$threads"
                   "-param:Rod1.timespread=$1" "-param:t_max=$tmax")
    echo "  ${command[*]}" >&2
    (cd "$folder" && /usr/bin/time -f "%M" -o "$folder/rss" "${command[@]}" > /dev/null 2>&1)
    cat "$folder/rss"
}

echo "in a copy of demo/:" >&2
small_kb=$(run_kb "$small")
large_kb=$(run_kb "$large")
small_n=$((lines * small))
large_n=$((lines * large))
echo "max RSS: $small_kb KiB with $small_n particles, $large_kb KiB with $large_n particles"
awk -v a="$small_kb" -v b="$large_kb" -v n="$small_n" -v m="$large_n" \
    'BEGIN { printf "%.1f bytes per particle\n", (b - a) * 1024 / (m - n) }'
