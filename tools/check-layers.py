#!/usr/bin/env python3
"""check-layers.py: fails when the folders of src/ or winsim/ include each
other in a circle. A folder's files may include another folder's only if
that folder, through its own includes, never comes back: the folders then
stand in layers, each using only those below it. winsim's DLL folders, as
Windows' DLLs, include none of each other's headers: what one offers the
others is declared in core/seams.h."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# Where each tree's includes are looked for, after the including file's own folder.
TREES = {
    "src": ["src"],
    "winsim": ["winsim", "winsim/include", "winsim/shared"],
}
SOURCES = (".h", ".cpp", ".hpp", ".cc")
DLL_FOLDERS = {"winsim": {"advapi32", "gdi32", "kernel32", "user32", "winspool"}}


def folder_of(tree, path):
    rel = os.path.relpath(path, os.path.join(ROOT, tree))
    parts = rel.split(os.sep)
    return parts[0] if len(parts) > 1 else "."


def resolve(tree, including, name):
    for base in [os.path.dirname(including)] + [os.path.join(ROOT, d) for d in TREES[tree]]:
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(candidate):
            return candidate
    return None


def edges_of(tree):
    edges = {}
    top = os.path.join(ROOT, tree)
    for dirpath, _, files in os.walk(top):
        for f in files:
            if not f.endswith(SOURCES):
                continue
            path = os.path.join(dirpath, f)
            with open(path, encoding="utf-8", errors="replace") as text:
                names = INCLUDE.findall(text.read())
            for name in names:
                target = resolve(tree, path, name)
                if not target or not target.startswith(top + os.sep):
                    continue
                a, b = folder_of(tree, path), folder_of(tree, target)
                if a != b:
                    edges.setdefault(a, {}).setdefault(b, f"{os.path.relpath(path, ROOT)} includes \"{name}\"")
    return edges


def circles(edges):
    """The strongly connected groups of more than one folder (Tarjan)."""
    index, low, stack, on, groups, counter = {}, {}, [], set(), [], [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in edges.get(v, {}):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for v in sorted(set(edges) | {w for ws in edges.values() for w in ws}):
        if v not in index:
            visit(v)
    return groups


def main():
    failed = False
    for tree in TREES:
        edges = edges_of(tree)
        for group in circles(edges):
            failed = True
            print(f"{tree}/: the folders {', '.join(group)} include each other in a circle:")
            for a in group:
                for b, example in sorted(edges.get(a, {}).items()):
                    if b in group:
                        print(f"  {a} -> {b}: {example}")
        dlls = DLL_FOLDERS.get(tree, set())
        for a in sorted(dlls):
            for b, example in sorted(edges.get(a, {}).items()):
                if b in dlls:
                    failed = True
                    print(f"{tree}/{a} reaches into {b}'s own headers ({example}); declare it in core/seams.h")
    if not failed:
        print("src/ and winsim/: no folder includes another that comes back to it")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
