#!/usr/bin/env python3
"""Runs pelto-tool on demo lattices with fixed seeds and compares what it
prints and writes with the recorded outcome in tests/data/golden/.

A change that should leave the physics alone (a restructure, a faster loop)
must leave these byte for byte as they were. A change that is meant to move
results rewrites them with --update, and the commit shows by how much.

Usage: golden_runs.py PELTO_TOOL [--update]
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
GOLDEN = os.path.join(ROOT, "tests", "data", "golden")

# name, lattice, extra arguments, files the run writes that are compared too.
# Short runs, so that the check stays quick under the sanitizers.
RUNS = [
    ("muon_bend_rf", "muon_bend_rf", ["--threads", "1"], []),
    ("decay_channel_2threads", "decay_channel", ["--threads", "2", "-param:t_max=4e-8"], []),
    ("front_end", "front_end", ["--threads", "1", "-param:t_max=6e-8"], ["front_end_out.csv"]),
]


def outcome(tool, lattice, extra, outputs, folder):
    args = [tool, "run", f"lattices/{lattice}.txt", "--seed", "1", "--level", "500",
            "--dump", "dump.csv"] + extra
    done = subprocess.run(args, cwd=folder, capture_output=True, text=True, timeout=600)
    lines = [f"status {done.returncode}"]
    # The speed line depends on the machine; everything else is the run's own.
    lines += [l for l in done.stdout.splitlines() if not l.startswith("work ")]
    for name in ["dump.csv"] + outputs:
        path = os.path.join(folder, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                lines.append(f"{name} sha256 {hashlib.sha256(f.read()).hexdigest()}")
        else:
            lines.append(f"{name} missing")
    return "\n".join(lines) + "\n", done.stderr


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    tool, update = os.path.abspath(argv[1]), "--update" in argv[2:]
    failed = 0
    for name, lattice, extra, outputs in RUNS:
        with tempfile.TemporaryDirectory() as folder:
            for sub in ("lattices", "datafiles"):
                shutil.copytree(os.path.join(ROOT, "demo", sub), os.path.join(folder, sub))
            got, errors = outcome(tool, lattice, extra, outputs, folder)
        path = os.path.join(GOLDEN, name + ".txt")
        if update:
            with open(path, "w") as f:
                f.write(got)
            print(f"{name}: recorded")
            continue
        with open(path) as f:
            want = f.read()
        if got == want:
            print(f"{name}: same")
            continue
        failed += 1
        print(f"{name}: DIFFERENT from {os.path.relpath(path, ROOT)}")
        for w, g in zip(want.splitlines(), got.splitlines()):
            if w != g:
                print(f"  recorded: {w}\n  now:      {g}")
        print(errors[-2000:])
    print(f"{len(RUNS) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
