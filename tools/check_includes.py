#!/usr/bin/env python3
"""Checks the include graph of src/ against the layering rules.

- platform/ includes only platform/;
- app/common/ and store/ include only platform/, app/common/ and (store/) store/;
- the subsystem folders never include app/ outside app/common/;
- only platform/ includes operating-system headers;
- no file includes itself through a cycle.

Prints one line per violation and exits 1 when there is any.
Usage: check_includes.py [SRC_DIR]
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)

# Folders a file of the first folder may include (besides its own).
BELOW = {
    "platform": {"platform"},
    "app/common": {"platform", "app/common"},
    "store": {"platform", "app/common", "store"},
}
SUBSYSTEMS = {"lattice", "beamline", "results", "net", "display", "store"}
OS_HEADERS = re.compile(
    r"^(unistd\.h|fcntl\.h|dirent\.h|termios\.h|poll\.h|netdb\.h|pthread\.h|spawn\.h|"
    r"signal\.h|sched\.h|strings\.h|windows\.h|sys/.*|arpa/.*|netinet/.*)$")


def folder_of(path):
    """'app/common/report.hpp' -> 'app/common', 'lattice/units.cpp' -> 'lattice'."""
    parts = path.split("/")
    if len(parts) > 2 and parts[0] == "app" and parts[1] == "common":
        return "app/common"
    return parts[0] if len(parts) > 1 else ""


def read_graph(src):
    graph, system = {}, {}
    for root, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".cpp", ".hpp", ".h")):
                continue
            full = os.path.join(root, name)
            rel = os.path.relpath(full, src).replace(os.sep, "/")
            with open(full, encoding="utf-8", errors="replace") as f:
                text = f.read()
            graph[rel], system[rel] = [], []
            for kind, target in INCLUDE.findall(text):
                (graph[rel] if kind == '"' else system[rel]).append(target)
    return graph, system


def find_cycle(graph):
    state, stack = {}, []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in graph.get(node, []):
            if nxt not in graph:
                continue
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def violations(src):
    graph, system = read_graph(src)
    out = []
    for path in sorted(graph):
        here = folder_of(path)
        for target in graph[path]:
            there = folder_of(target)
            if target not in graph:
                out.append(f"{path}: includes \"{target}\", which is not a file under src/")
            elif here in BELOW and there not in BELOW[here]:
                out.append(f"{path}: {here}/ must not include {target}")
            elif here in SUBSYSTEMS and there == "app":
                out.append(f"{path}: {here}/ must not include {target} (pass the setting in)")
        if here != "platform":
            for target in system[path]:
                if OS_HEADERS.match(target):
                    out.append(f"{path}: <{target}> belongs in platform/")
    cycle = find_cycle(graph)
    if cycle:
        out.append("include cycle: " + " -> ".join(cycle))
    return out


def main(argv):
    src = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    found = violations(src)
    for line in found:
        print(line)
    print(f"{len(found)} include rule violation(s)")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
