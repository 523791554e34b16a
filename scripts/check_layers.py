#!/usr/bin/env python3
"""Checks the include structure of the product folders; prints each breach, exit status 1.

The folders are floors, read bottom to top in the order a launch passes them:

  check/                 vmbootcheck, which drives the launch sequence as a dry run
  launcher/              the entry points and the launch sequence that drives every stage
  instance/              single instance (runs around the VM)
  hosting/               loading jvm.dll, the VM thread, redirection, the exception dialog
  splash/                the splash while the VM starts
  options/               the VM options, class path, environment
  discovery/             the runtime search and the missing-runtime dialog
  config/                the configuration files and the keys read from them
  core/, ui/, resources/ the ground: shared state, paths, text, handles, window helpers

A file includes only its own floor or a lower one; the rooms of the ground include each
other freely. brand/ (the branding tool) stands apart and includes only itself and the
ground's portable code. And no two modules include each other, directly or through others
(a module is name.h with name.cpp, so name_win32.cpp including other.h and other_win32.cpp
including name.h is a loop).
"""
import os
import re
import sys

FLOORS = [
    {"core", "ui", "resources"},
    {"config"},
    {"discovery"},
    {"options"},
    {"splash"},
    {"hosting"},
    {"instance"},
    {"launcher"},
    {"check"},
]
# Beside the floors: may include its own folder and the ground, nothing else.
APART = {"brand"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def floor_of(folder):
    for index, folders in enumerate(FLOORS):
        if folder in folders:
            return index
    return None


def allowed(source_folder, target_folder):
    if source_folder in APART:
        return target_folder == source_folder or floor_of(target_folder) == 0
    if target_folder in APART:
        return False
    return floor_of(target_folder) <= floor_of(source_folder)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    breaches = []
    graph = {}  # module -> {module: first including file}
    for folder in sorted(set().union(*FLOORS) | APART):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith((".h", ".cpp")):
                continue
            source = "%s/%s" % (folder, name)
            module = os.path.splitext(source)[0]
            with open(os.path.join(path, name), encoding="utf-8") as handle:
                text = handle.read()
            for included in INCLUDE.findall(text):
                target_folder = included.split("/")[0]
                if floor_of(target_folder) is None and target_folder not in APART:
                    continue  # a header found through the include path (jni_md.h, ...)
                if not allowed(folder, target_folder):
                    breaches.append("%s includes %s from a higher floor" % (source, included))
                target = os.path.splitext(included)[0]
                if target != module:
                    graph.setdefault(module, {}).setdefault(target, source)

    # Depth-first search; a grey module met again closes a loop.
    state = {}
    loops = []

    def visit(module, trail):
        state[module] = "grey"
        trail.append(module)
        for target in sorted(graph.get(module, {})):
            if state.get(target) == "grey":
                loop = trail[trail.index(target):] + [target]
                loops.append(" -> ".join(loop))
            elif target not in state:
                visit(target, trail)
        trail.pop()
        state[module] = "black"

    for module in sorted(graph):
        if module not in state:
            visit(module, [])
    breaches += ["include loop: %s" % loop for loop in loops]

    for breach in breaches:
        print(breach)
    modules = len(set(graph) | {t for targets in graph.values() for t in targets})
    print("%d modules, %d breaches" % (modules, len(breaches)))
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
