#!/usr/bin/env python3
"""Checks the include structure of the product folders; prints each breach, exit status 1.

Layers, top to bottom:
  launcher/, check/      the entry points and the launch sequence that drives every stage
  brand/                 the branding tool, which includes only itself
  config/ discovery/ options/ hosting/ instance/ splash/   the stages
  core/, resources/      helpers and the shared state, which every stage includes

A file includes only its own layer or a lower one. And no two modules include each other,
directly or through others (a module is name.h with name.cpp, so name_win32.cpp including
other.h and other_win32.cpp including name.h is a loop).
"""
import os
import re
import sys

LAYERS = [
    {"launcher", "check", "brand"},
    {"config", "discovery", "options", "hosting", "instance", "splash"},
    {"core", "resources"},
]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(folder):
    for index, folders in enumerate(LAYERS):
        if folder in folders:
            return index
    return None


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    breaches = []
    graph = {}  # module -> {module: first including file}
    for folder in sorted(set().union(*LAYERS)):
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
                target_layer = layer_of(target_folder)
                if target_layer is None:
                    continue  # a header found through the include path (jni_md.h, ...)
                if target_layer < layer_of(folder):
                    breaches.append("%s includes %s from a higher layer" % (source, included))
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
