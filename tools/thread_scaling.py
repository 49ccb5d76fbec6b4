#!/usr/bin/env python3
"""Thread scaling of the tracking pool: the demo decay channel on 1 and on 2
threads, on two cores that are idle and then with one of them kept busy by
another process (a volunteer's machine), runs interleaved, median of N.

Figures: rate ratio (2 threads / 1 thread, Mpts per second of tracking) and,
on the busy machine, CPU per step ratio (CPU seconds of the whole process,
from its rusage, per Mpts). Targets: idle ratio >= 1.8; busy ratio >= 1.0
and CPU per step no more than 1.10x.

Usage: thread_scaling.py PELTO_TOOL [--cores 0,1] [--repeats 5] [--level 500]
Pins itself, pelto-tool and the busy loop to the given two cores, so a larger
machine measures like a two-core one. Runs in a scratch copy of demo/.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
WORK = re.compile(r"^work ([0-9.e+-]+) Mpts in ([0-9.e+-]+) s", re.M)


def run_once(tool, folder, threads, level, cores):
    args = [tool, "run", "lattices/decay_channel.txt", "--seed", "1", "--level", str(level),
            "--threads", str(threads)]
    child = subprocess.Popen(args, cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             preexec_fn=lambda: os.sched_setaffinity(0, cores))
    out, err = child.communicate()
    # communicate() has waited already; the rusage of that child is in the
    # children's totals, taken before and after by the caller.
    if child.returncode != 0:
        sys.exit(f"pelto-tool failed ({child.returncode}): {err.decode(errors='replace')}")
    m = WORK.search(out.decode())
    if not m:
        sys.exit("no work line in pelto-tool's output:\n" + out.decode())
    return float(m.group(1)), float(m.group(2))


def children_cpu():
    import resource
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def busy_loop(core):
    # A plain spinning process on one core, at normal priority, as a
    # volunteer's other program would be.
    return subprocess.Popen([sys.executable, "-c", "while True: pass"],
                            preexec_fn=lambda: os.sched_setaffinity(0, {core}))


def load_average():
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


def measure(tool, folder, level, cores, repeats, label):
    # An "idle" figure from a machine that other work keeps busy measures
    # that work, not the pool: the load average says which it was.
    print(f"  {label}: load average {load_average()} before", flush=True)
    rates = {1: [], 2: []}
    cpu = {1: [], 2: []}
    for rep in range(repeats):
        order = (1, 2) if rep % 2 == 0 else (2, 1)
        for threads in order:
            before = children_cpu()
            work, seconds = run_once(tool, folder, threads, level, cores)
            used = children_cpu() - before
            rates[threads].append(work / seconds)
            cpu[threads].append(used / work)
            print(f"  {label} rep {rep + 1} threads {threads}: {work / seconds:.3f} Mpts/s, "
                  f"{1e3 * used / work:.3f} ms CPU per Mpts", flush=True)
    print(f"  {label}: load average {load_average()} after", flush=True)
    # The ratio of each repeat's pair of runs, made a few seconds apart: how
    # far they scatter says how much the machine's neighbours moved the
    # medians.
    pairs = sorted(b / a for a, b in zip(rates[1], rates[2]))
    print(f"  {label}: 1 thread {min(rates[1]):.3f} to {max(rates[1]):.3f} Mpts/s; "
          f"2/1 per repeat {', '.join(f'{x:.2f}' for x in pairs)}", flush=True)
    r1, r2 = statistics.median(rates[1]), statistics.median(rates[2])
    c1, c2 = statistics.median(cpu[1]), statistics.median(cpu[2])
    return r1, r2, c1, c2


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tool")
    parser.add_argument("--cores", default=None, help="two processor numbers, e.g. 0,1")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--level", type=int, default=500)
    a = parser.parse_args()

    allowed = sorted(os.sched_getaffinity(0))
    cores = [int(c) for c in a.cores.split(",")] if a.cores else allowed[:2]
    if len(cores) != 2:
        sys.exit("need two processors")
    tool = os.path.abspath(a.tool)
    folder = tempfile.mkdtemp(prefix="pelto_scaling_")
    try:
        for sub in ("lattices", "datafiles"):
            shutil.copytree(os.path.join(ROOT, "demo", sub), os.path.join(folder, sub))
        print(f"cores {cores}, level {a.level}, median of {a.repeats}, interleaved", flush=True)
        r1, r2, c1, c2 = measure(tool, folder, a.level, set(cores), a.repeats, "idle")
        busy = busy_loop(cores[1])
        try:
            time.sleep(0.5)
            b1, b2, d1, d2 = measure(tool, folder, a.level, set(cores), a.repeats, "busy")
        finally:
            busy.kill()
            busy.wait()
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    print(f"idle: 1 thread {r1:.3f} Mpts/s, 2 threads {r2:.3f} Mpts/s: "
          f"{r2 / r1:.2f}x (target >= 1.80)")
    print(f"busy: 1 thread {b1:.3f} Mpts/s, 2 threads {b2:.3f} Mpts/s: "
          f"{b2 / b1:.2f}x (target >= 1.00)")
    print(f"busy: CPU per Mpts 1 thread {d1:.3f} s, 2 threads {d2:.3f} s: "
          f"{d2 / d1:.2f}x (target <= 1.10)")
    print(f"idle: CPU per Mpts 1 thread {c1:.3f} s, 2 threads {c2:.3f} s: {c2 / c1:.2f}x")


if __name__ == "__main__":
    main()
