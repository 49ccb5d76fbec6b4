#!/usr/bin/env python3
"""Checks the include graph of src/ against the layering rules.

- the folders of src/ stand in one order from the ground up, written once in
  the root CMakeLists.txt (PELTO_LAYERS); the programs (tool/, server/) stand
  on top of all of them. A file includes only its own folder and folders
  below it;
- only platform/ includes operating-system headers;
- every quoted include names a file under src/;
- no file includes itself through a cycle.

Prints one line per violation and exits 1 when there is any.
Usage: check_includes.py [SRC_DIR]
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
LAYERS = re.compile(r"set\(PELTO_LAYERS([^)]*)\)")
# Programs built on all the layers; none of them includes another.
PROGRAMS = ("tool", "server")
OS_HEADERS = re.compile(
    r"^(unistd\.h|fcntl\.h|dirent\.h|termios\.h|poll\.h|netdb\.h|pthread\.h|spawn\.h|"
    r"signal\.h|sched\.h|strings\.h|windows\.h|sys/.*|arpa/.*|netinet/.*)$")


def layer_order(src):
    """The folders from the ground up, as the build lists them."""
    with open(os.path.join(src, "..", "CMakeLists.txt"), encoding="utf-8") as f:
        found = LAYERS.search(f.read())
    if not found:
        raise SystemExit("CMakeLists.txt has no set(PELTO_LAYERS ...)")
    return found.group(1).split()


def folder_of(path):
    """'beamline/tracking/step.cpp' -> 'beamline', 'common/report.hpp' -> 'common'."""
    parts = path.split("/")
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


def rank_of(folder, order):
    if folder in order:
        return order.index(folder)
    if folder in PROGRAMS:
        return len(order)
    return None


def layer_violation(here, there, order):
    """Why a file of folder `here` may not include one of `there`, or None."""
    if here == there:
        return None
    mine, theirs = rank_of(here, order), rank_of(there, order)
    if mine is None:
        return f"{here}/ is not in the folder order (PELTO_LAYERS)"
    if theirs is None or theirs >= mine:
        return f"{here}/ must not include {there}/, which is not below it"
    return None


def violations(src, order=None):
    order = order if order is not None else layer_order(src)
    graph, system = read_graph(src)
    out = []
    for path in sorted(graph):
        here = folder_of(path)
        for target in graph[path]:
            if target not in graph:
                out.append(f"{path}: includes \"{target}\", which is not a file under src/")
                continue
            why = layer_violation(here, folder_of(target), order)
            if why:
                out.append(f"{path}: includes \"{target}\": {why}")
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
