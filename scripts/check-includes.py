#!/usr/bin/env python3
"""Fails when a file of src/ includes a header against the layers' direction.

Every quoted include names a folder of src/ ("base/ports.h"); a file may
include its own folder and the folders its own folder's row allows. The
table is the whole picture: a new folder needs a row, and an edge that is
not here is refused. Also fails when the include graph between folders has
a cycle, so a row cannot quietly make two folders lean on each other.
"""

import argparse
import pathlib
import re
import sys

CORE = ["platform", "resources", "base"]

# folder -> the folders it may include besides itself.
ALLOWED = {
    # The ports depend on nothing; the game contract ships with the SDK.
    "platform": ["kestrix"],
    "resources": ["platform"],
    "base": ["platform"],
    "net": CORE,
    "account": CORE + ["net"],
    "play": CORE + ["net", "account"],
    "app": CORE + ["net", "account", "play"],
    # Backends carry calls across: ports and base, never a subsystem.
    "platform/common": ["platform", "base", "kestrix"],
    "platform/linux": ["platform", "platform/common", "base", "kestrix"],
    "platform/linux/qt": ["platform", "platform/common", "platform/linux", "base", "kestrix"],
    "platform/win32": ["platform", "platform/common", "base", "kestrix"],
    "tools": ["platform", "platform/common", "platform/linux", "base"],
}

# Entry points put everything together, so they may include any folder.
ENTRY_POINTS = {
    "platform/linux/qt/velora_main.cpp",
    "platform/win32/win_main.cpp",
    "tools/kxreg_main.cpp",
    "tools/resource_script_main.cpp",
}

# Folders whose headers live outside src/ but are named like ours.
EXTERNAL = {"kestrix"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder_of(relative: str) -> str:
    """The deepest row of ALLOWED that holds `relative` (a path under src/)."""
    parts = relative.split("/")[:-1]
    while parts:
        candidate = "/".join(parts)
        if candidate in ALLOWED:
            return candidate
        parts.pop()
    return ""


def target_folder(include: str) -> str:
    first = include.split("/")[0]
    if first in EXTERNAL:
        return first
    return folder_of(include)


def find_cycle(edges):
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--src", default=pathlib.Path(__file__).resolve().parent.parent / "src",
                        type=pathlib.Path)
    args = parser.parse_args()

    problems = []
    edges = {}
    for path in sorted(args.src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".c", ".idl", ".rc"):
            continue
        relative = path.relative_to(args.src).as_posix()
        own = folder_of(relative)
        if not own:
            problems.append(f"{relative}: its folder has no row in the table")
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for include in INCLUDE.findall(text):
            if "/" not in include:
                continue  # a header beside the file, as generated headers are
            target = target_folder(include)
            if not target:
                problems.append(f"{relative}: includes \"{include}\", which is in no known folder")
                continue
            if target == own:
                continue
            if relative not in ENTRY_POINTS:
                edges.setdefault(own, set()).add(target)
                if target not in ALLOWED[own]:
                    problems.append(f"{relative}: {own} may not include {target} (\"{include}\")")

    cycle = find_cycle(edges)
    if cycle:
        problems.append("the folders' includes form a cycle: " + " -> ".join(cycle))

    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"{len(problems)} include(s) against the layers; see scripts/check-includes.py",
              file=sys.stderr)
        return 1
    print(f"includes follow the layers ({sum(len(v) for v in edges.values())} folder edges)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
