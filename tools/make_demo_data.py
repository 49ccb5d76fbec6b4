#!/usr/bin/env python3
"""Writes the demo data files (pion source lists, bending-magnet field map,
scattering tables) into a folder, by default demo/datafiles.

    python3 tools/make_demo_data.py [--out FOLDER] [--only sources|fieldmap|scatter]

Every generator is seeded or deterministic: the same command writes the same
bytes.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import fieldmap  # noqa: E402
import pion_source  # noqa: E402
import scatter_tables  # noqa: E402

GENERATORS = {
    "sources": pion_source.write_all,
    "fieldmap": fieldmap.write_all,
    "scatter": scatter_tables.write_all,
}


def generate(only=None):
    """{file name: bytes} of every demo data file (or of one generator)."""
    files = {}
    for name, make in GENERATORS.items():
        if only and name != only:
            continue
        for file_name, contents in make(None).items():
            files[file_name] = contents if isinstance(contents, bytes) else contents.encode()
    return files


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(root, "demo", "datafiles"))
    parser.add_argument("--only", choices=sorted(GENERATORS))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    files = generate(args.only)
    for name, contents in sorted(files.items()):
        path = os.path.join(args.out, name)
        temporary = path + ".tmp"
        with open(temporary, "wb") as f:
            f.write(contents)
        os.replace(temporary, path)
    print("wrote %d files to %s" % (len(files), args.out))


if __name__ == "__main__":
    main()
