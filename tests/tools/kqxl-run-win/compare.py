#!/usr/bin/env python3
"""Compares one job played by kqxl-run on the simulated machine with the same
job played by kqxl-run.exe on the real component under Wine.

Port output must be byte for byte the same; the event logs (hooks, traces,
message boxes, documents, anything left behind) and the files the component
leaves in the driver folder, the temp folder and the forms folder must be the
same after normalising exactly the differences in ALLOWED. The first
difference is printed so that a person can read it.

usage: compare.py LINUX_OUT WINE_OUT LINUX_C WINE_C
"""
import difflib
import os
import re
import sys

# The differences a real Win32 may show, each with its reason. Nothing else
# is normalised.
ALLOWED = [
    {
        "name": "temp file unique number",
        "why": "GetTempFileNameW with unique number 0 starts from the system time, "
               "on Windows as on the simulated machine, so the digits differ from run to run",
        "events": (re.compile(r"ZQP[0-9A-Fa-f]{1,4}\.tmp"), "ZQP####.tmp"),
    },
    {
        "name": "blank lines of profile files",
        "why": "Wine's WritePrivateProfileStringW rewrites a profile file without its blank lines; "
               "the simulated machine keeps them (the entries are what the component reads)",
        "profile": True,
    },
    {
        "name": "module files",
        "why": "the driver folder holds each platform's own builds of the modules",
        "skip_files": re.compile(r"\.(dll|so|drv)$", re.IGNORECASE),
    },
]

# Where the component leaves files: the driver folder, the temp folder (its
# spool and capture files must be gone) and the folder the jobs keep forms in.
FOLDERS = ["windows/system32/spool/drivers/w32x86/2", "windows/temp", "forms"]


def normalise_event(line):
    for rule in ALLOWED:
        if "events" in rule:
            pattern, replacement = rule["events"]
            line = pattern.sub(replacement, line)
    return line


def normalise_file(name, data):
    if name.lower().endswith(".ini") and any(r.get("profile") for r in ALLOWED):
        lines = data.replace(b"\r\n", b"\n").split(b"\n")
        return b"\n".join(l for l in lines if l.strip())
    return data


def read(path):
    with open(path, "rb") as f:
        return f.read()


def find_folder(root, relative):
    """A folder below root, matched without case as Windows matches names."""
    here = root
    for part in relative.split("/"):
        if not os.path.isdir(here):
            return None
        match = [n for n in os.listdir(here) if n.lower() == part.lower()]
        if not match:
            return None
        here = os.path.join(here, match[0])
    return here if os.path.isdir(here) else None


def files_below(folder):
    found = {}
    if folder:
        for base, _, names in os.walk(folder):
            for n in names:
                full = os.path.join(base, n)
                found[os.path.relpath(full, folder).lower()] = full
    return found


def first_bytes_difference(a, b):
    n = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
    context = lambda d: d[max(0, n - 8):n + 8].hex(" ")
    return (f"first difference at byte {n} (sizes {len(a)} and {len(b)})\n"
            f"    simulated: {context(a)}\n    Wine:      {context(b)}")


def compare_documents(linux_out, wine_out):
    docs = lambda d: sorted(n for n in os.listdir(d) if n.endswith(".prn"))
    if docs(linux_out) != docs(wine_out):
        return f"documents: simulated {docs(linux_out)}, Wine {docs(wine_out)}"
    for name in docs(linux_out):
        a, b = read(os.path.join(linux_out, name)), read(os.path.join(wine_out, name))
        if a != b:
            return f"port output {name}: " + first_bytes_difference(a, b)
    return None


def compare_events(linux_out, wine_out):
    events = lambda d: [normalise_event(l) for l in read(os.path.join(d, "events.jsonl")).decode().splitlines()]
    a, b = events(linux_out), events(wine_out)
    if a == b:
        return None
    n = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
    diff = difflib.unified_diff(a[max(0, n - 3):n + 4], b[max(0, n - 3):n + 4], "simulated", "Wine", lineterm="", n=3)
    return f"events.jsonl: first difference at line {n + 1}\n" + "\n".join("    " + l for l in diff)


def compare_files(linux_c, wine_c):
    skip = next(r["skip_files"] for r in ALLOWED if "skip_files" in r)
    for folder in FOLDERS:
        a = files_below(find_folder(linux_c, folder))
        b = files_below(find_folder(wine_c, folder))
        names = sorted(n for n in set(a) | set(b) if not skip.search(n))
        for n in names:
            if n not in a or n not in b:
                return f"C:/{folder}/{n}: only {'on the simulated machine' if n in a else 'under Wine'}"
            x, y = normalise_file(n, read(a[n])), normalise_file(n, read(b[n]))
            if x != y:
                return f"C:/{folder}/{n}: " + first_bytes_difference(x, y)
    return None


def leaks(out):
    return [l for l in read(os.path.join(out, "events.jsonl")).decode().splitlines() if '"event":"leak"' in l]


def main():
    linux_out, wine_out, linux_c, wine_c = sys.argv[1:5]
    problems = [compare_documents(linux_out, wine_out), compare_events(linux_out, wine_out),
                compare_files(linux_c, wine_c)]
    left = leaks(wine_out)
    if left:
        problems.append("the component left behind under Wine:\n" + "\n".join("    " + l for l in left))
    problems = [p for p in problems if p]
    for p in problems:
        print("  " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
