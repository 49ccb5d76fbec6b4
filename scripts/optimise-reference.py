#!/usr/bin/python3
"""Reference optimisers on the optimiser's benchmark problems, run for run.

CMA-ES (python3-cmaes) and TPE (python3-optuna) search the same parameter
levels (0..999) as Pelto's optimiser. Each evaluation is `pelto-tool run` of
the lattice in a scratch program folder, or with --direct the lattice's score
function computed here (the same windows over the same thousand energies,
without tracking), which is hundreds of times faster.

Prints, per problem and method, the runs to 90 % of the peak and the best
score after 100, 200 and 400 runs for every seed, then the median runs.
Usage: optimise-reference.py FOLDER PROBLEM [--runs N] [--seeds 1,2,...] [--direct]
                             [--methods CMA-ES,TPE]
"""
import argparse
import math
import os
import statistics
import subprocess
import sys

import numpy as np
import optuna
from cmaes import CMA

PEAK = 99.8
LEVELS = 1000


def energies_within(a, b):
    cdf = lambda e: 0.5 * math.erfc(-(e - 200) / 60 / math.sqrt(2))
    first = math.ceil(1000 * cdf(a) - 0.5)
    last = math.floor(1000 * cdf(b) - 0.5)
    return min(max(last - first + 1, 0), 1000)


def quantile(p):
    lo, hi = -10.0, 10.0
    for _ in range(100):
        mid = (lo + hi) / 2
        if 0.5 * math.erfc(-mid / math.sqrt(2)) < p:
            lo = mid
        else:
            hi = mid
    return lo


ENERGIES = [200 + 60 * quantile((i + 0.5) / 1000) for i in range(1000)]


def stopped_penalty(windows):
    """The tracker's score when no muon passes: the mean penalty of the
    stopped muons, by the first window that stopped each."""
    total = 0
    for e in ENERGIES:
        for low, high in windows:
            if not ((low != 0 and e < low) or (high != 0 and e > high)):
                continue
            v = e / low if low != 0 else 0
            t = e / high if high != 0 else 0
            if v != 0 and v < 1:
                total += v - 1
            elif t != 0 and t > 1:
                total += 1 / t - 1
            break
    return total / 1000


def edge_windows(x):
    return [(e, e + 400) for e in x]


def coupled_windows(x):
    w = []
    for i in range(0, len(x) - 1, 2):
        across = 3 * (x[i] + x[i + 1] - 700)
        along = 0.5 * (x[i] - x[i + 1] - 200)
        w += [(across, across + 400), (along, along + 400)]
    return w


# name: (parameter names, lo, hi, windows); names in the lattice's order
PROBLEMS = {
    "energy_windows": ([f"E{k}" for k in range(1, 7)], 0, 700, edge_windows),
    "interior_windows": ([f"E{k}" for k in range(1, 7)], -150, 850, edge_windows),
    "centred_windows": ([f"E{k}" for k in range(1, 7)], -350, 350, edge_windows),
    "coupled_windows": ([f"{c}{k}" for k in range(1, 4) for c in "XY"], 0, 500, coupled_windows),
    "twelve_windows": ([f"E{k}" for k in range(1, 13)], 0, 700, edge_windows),
}


def direct_score(problem, levels):
    _, lo, hi, windows = PROBLEMS[problem]
    x = [lo + v / (LEVELS - 1) * (hi - lo) for v in levels]
    w = windows(x)
    passed = energies_within(max(v[0] for v in w), min(v[1] for v in w))
    return passed / 10 if passed > 0 else stopped_penalty(w)


def tool_score(folder, tool, problem, levels, seed):
    names = PROBLEMS[problem][0]
    genome = "".join(f"{n}={v:03d};" for n, v in zip(names, levels))
    out = subprocess.run([tool, "run", f"lattices/{problem}.txt", "--genome", genome, "--seed",
                          str(seed), "--threads", "1"], cwd=folder, capture_output=True, text=True)
    for line in out.stdout.splitlines():
        if line.startswith("score"):
            return float(line.split()[1])
    raise SystemExit(f"no score from pelto-tool for {genome}: {out.stderr}")


def series(method, problem, runs, seed, evaluate):
    dims = len(PROBLEMS[problem][0])
    bests = []
    best = -math.inf

    def record(levels):
        nonlocal best
        s = evaluate([int(min(max(round(v), 0), LEVELS - 1)) for v in levels], len(bests) + 1)
        best = max(best, s)
        bests.append(best)
        return s

    if method == "CMA-ES":
        bounds = np.array([[0, LEVELS - 1]] * dims, dtype=float)
        opt = CMA(mean=np.full(dims, (LEVELS - 1) / 2), sigma=(LEVELS - 1) * 0.3, bounds=bounds,
                  seed=seed)
        while len(bests) < runs:
            told = []
            for _ in range(opt.population_size):
                if len(bests) >= runs:
                    break
                x = opt.ask()
                told.append((x, -record(x)))
            if len(told) < opt.population_size:
                break
            opt.tell(told)
    else:
        optuna.logging.set_verbosity(optuna.logging.WARNING)
        study = optuna.create_study(direction="maximize",
                                    sampler=optuna.samplers.TPESampler(seed=seed))
        study.optimize(lambda t: record([t.suggest_int(f"p{j}", 0, LEVELS - 1)
                                         for j in range(dims)]), n_trials=runs)
    to90 = next((i + 1 for i, b in enumerate(bests) if b >= 0.9 * PEAK), 0)
    at = [bests[min(n, len(bests)) - 1] for n in (100, 200, 400) if n <= runs]
    return to90, at


def main():
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("problem", choices=sorted(PROBLEMS))
    p.add_argument("--runs", type=int, default=400)
    p.add_argument("--seeds", default="1,2,3,4,5")
    p.add_argument("--direct", action="store_true")
    p.add_argument("--methods", default="CMA-ES,TPE")
    p.add_argument("--tool", default=os.environ.get("PELTO_TOOL", "pelto-tool"))
    a = p.parse_args()
    for method in a.methods.split(","):
        counts = []
        cells = []
        for seed in [int(s) for s in a.seeds.split(",")]:
            if a.direct:
                evaluate = lambda levels, run: direct_score(a.problem, levels)
            else:
                evaluate = lambda levels, run, seed=seed: tool_score(a.folder, a.tool, a.problem,
                                                                     levels, seed + run)
            to90, at = series(method, a.problem, a.runs, seed, evaluate)
            counts.append(to90 if to90 else 10**6)
            cells.append(f"{to90 or 'never':>5} ({' '.join(f'{b:5.1f}' for b in at)})")
        med = statistics.median_low(counts)
        print(f"{a.problem:<18} {method:<10} {'  '.join(cells)}  median "
              f"{med if med < 10**6 else 'never'}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
