#!/usr/bin/env python3
"""Checks the layering of the tree.

1. Includes: a file of a layer folder includes headers of its own folder and
   of the folders it may use (LAYERS), nothing above.
2. Targets (with --graph FILE, CMake's --graphviz output): no product target
   (the program, orvix-cli, orvix-bridge, libnodra.so, libtlset.so) links a
   target defined under tools/.
3. --self-test: a tree with an upward include planted fails the check.

Exits 1 with one line per offence, 0 when the tree is clean.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

BELOW_GUI = ["core", "link", "media", "recording", "session"]
LAYERS = {
    "core": [],
    "link": ["core"],
    "media": ["core", "link"],
    "recording": ["core", "link", "media"],
    "session": ["core", "link", "media", "recording"],
    "gui": BELOW_GUI,
    "app": BELOW_GUI + ["gui"],
    "store": ["core"],
    "setup": ["core"],
    "frontend": BELOW_GUI + ["store"],
    "cli": BELOW_GUI + ["store", "frontend"],
    "bridge": BELOW_GUI + ["store", "frontend"],
}
PRODUCTS = ["orvix", "orvix-cli", "orvix-bridge", "nodra", "tlset"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def source_files(root):
    for folder in LAYERS:
        for directory, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    yield folder, os.path.join(directory, name)


def include_offences(root):
    offences = []
    for folder, path in source_files(root):
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for used in INCLUDE.findall(text):
            if used in LAYERS and used != folder and used not in LAYERS[folder]:
                offences.append(f"{os.path.relpath(path, root)} includes {used}/ (above {folder}/)")
    return offences


def tool_targets(root):
    names = set()
    pattern = re.compile(r"add_(?:library|executable)\(\s*([\w.+-]+)")
    for directory, _, files in os.walk(os.path.join(root, "tools")):
        if "CMakeLists.txt" in files:
            with open(os.path.join(directory, "CMakeLists.txt")) as f:
                names.update(pattern.findall(f.read()))
    return names


def target_offences(root, graph):
    labels, edges = {}, {}
    with open(graph) as f:
        for line in f:
            node = re.match(r'\s*"(node\d+)"\s*\[\s*label\s*=\s*"([^"]+)"', line)
            if node:
                labels[node.group(1)] = node.group(2)
            edge = re.match(r'\s*"(node\d+)"\s*->\s*"(node\d+)"', line)
            if edge:
                edges.setdefault(edge.group(1), []).append(edge.group(2))
    tools = tool_targets(root)
    offences = []
    for start, label in labels.items():
        if label not in PRODUCTS:
            continue
        seen, todo = set(), [start]
        while todo:
            for nxt in edges.get(todo.pop(), []):
                if nxt not in seen:
                    seen.add(nxt)
                    todo.append(nxt)
        offences += [f"{label} links the test tool {labels[n]}" for n in seen if labels.get(n) in tools]
    return offences


def self_test():
    with tempfile.TemporaryDirectory() as root:
        for folder, text in (("core", '#include "gui/view.h"\n'), ("gui", '#include "core/record.h"\n')):
            os.makedirs(os.path.join(root, folder))
            with open(os.path.join(root, folder, "file.h"), "w") as f:
                f.write(text)
        found = include_offences(root)
    if found != ["core/file.h includes gui/ (above core/)"]:
        print("the check missed a planted upward include:", found)
        return 1
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("--graph", help="CMake --graphviz output of a configured build")
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    if args.self_test:
        return self_test()
    offences = include_offences(args.root)
    if args.graph:
        offences += target_offences(args.root, args.graph)
    for line in offences:
        print("layers:", line)
    return 1 if offences else 0


if __name__ == "__main__":
    sys.exit(main())
