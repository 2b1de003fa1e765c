#!/usr/bin/env python3
"""Compares one job played by kqxl-run on the simulated machine with the same
job played by kqxl-run.exe on the real component under Wine.

Port output must be byte for byte the same; the event logs (hooks, traces,
message boxes, documents, anything left behind) and the files the component
leaves in the driver folder, the temp folder and the forms folder must be the
same after normalising exactly the differences in ALLOWED. The first
difference is printed so that a person can read it.

A watermark is drawn by each machine's own GDI: the simulated machine's
gdi32 draws with winsim's font engine, Wine's with its own (kqxl-run.exe
gives the internal job a memory device context; Wine's gdi32 selects the
font and makes the outlines). Their watermark files differ in their bytes
but must draw the same: each port document must be byte for byte the same
once the simulated side's watermark files are replaced by Wine's in it, and
each printed page of the two must overlap (INK_OVERLAP) on the interpreter.

Not compared, and why: text of a complex script (Arabic, Thai) in a face
whose stand-in lacks it (Arial's and Tahoma's stand-ins draw it from linked
fonts, as Windows' own Arial and Tahoma have it): Wine shapes such text in
the selected face alone and draws missing-glyph boxes, so the world-*.job
watermarks use faces with the script of their own for those languages; the
printer suite prints the Arial and Tahoma ones.

usage: compare.py LINUX_OUT WINE_OUT LINUX_C WINE_C
(the interpreter: $KQXL_GPCL6, else ../shared/tools/gpcl6 beside the project)
"""
import difflib
import os
import re
import subprocess
import sys
import tempfile

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
        "name": "watermark drawn by each GDI",
        "why": "the internal watermark job's text is made into outlines by each machine's own GDI (winsim's font "
               "engine, Wine's gdi32): the watermark files' bytes and sizes differ, their drawings must not "
               "(see the module's description)",
        "events": (re.compile(r'("name":"watermark file","bytes":)[0-9]+'), r"\1#"),
        "watermark_files": re.compile(r"kqpcl6(_2)?\.wmk$", re.IGNORECASE),
    },
    {
        "name": "module files",
        "why": "the driver folder holds each platform's own builds of the modules",
        "skip_files": re.compile(r"\.(dll|so|drv)$", re.IGNORECASE),
    },
]

# Two renderings of a page at 100 dpi must each have at least this share of
# their ink within a pixel of the other's: two GDIs round a glyph's outline
# each their own way (a pixel at most at 100 dpi, where the watermark's
# strokes are one to three pixels wide), and a missing, moved or wrong
# glyph loses far more.
INK_OVERLAP = 0.95
DPI = 100

WATERMARK_FILES = next(r["watermark_files"] for r in ALLOWED if "watermark_files" in r)

# Where the component leaves files: the driver folder, the temp folder (its
# spool and capture files must be gone) and the folder the jobs keep forms in.
# The driver folder is the architecture's, x64/3 for the 64-bit runs, first;
# the other architecture's must stay as it was on both sides.
DRIVER_FOLDERS = ["windows/system32/spool/drivers/w32x86/2", "windows/system32/spool/drivers/x64/3"]
DRIVER_FOLDER = os.environ.get("KQXL_DRIVER_FOLDER", DRIVER_FOLDERS[0])
FOLDERS = [DRIVER_FOLDER] + [f for f in DRIVER_FOLDERS if f != DRIVER_FOLDER] + ["windows/temp", "forms"]


def normalise_event(line):
    for rule in ALLOWED:
        if "events" in rule:
            pattern, replacement = rule["events"]
            line = pattern.sub(replacement, line)
    return line


def interpreter():
    here = os.path.dirname(os.path.abspath(__file__))
    found = os.environ.get("KQXL_GPCL6") or os.path.join(here, "../../../../shared/tools/gpcl6")
    return found if os.path.isfile(found) and os.access(found, os.X_OK) else None


def dark_rows(prn, folder, gpcl6):
    """Each page of a port document at DPI as rows of bits, a bit a dark pixel."""
    pattern = os.path.join(folder, str(abs(hash(prn))) + "-%03d.pgm")
    subprocess.run([gpcl6, "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pgmraw", f"-r{DPI}",
                    "-sOutputFile=" + pattern, prn], capture_output=True, check=False)
    pages, n = [], 1
    while os.path.exists(pattern % n):
        data = read(pattern % n)
        fields, at = [], 2
        while len(fields) < 3:
            m = re.compile(rb"\s*(#[^\n]*\n\s*)*([0-9]+)").match(data, at)
            fields.append(int(m.group(2)))
            at = m.end()
        width, height = fields[0], fields[1]
        pixels = data[at + 1:]
        rows = []
        for r in range(height):
            row = pixels[r * width:(r + 1) * width].translate(DARK)
            rows.append(int.from_bytes(row, "big") if row.strip(b"\0") else 0)
        pages.append(rows)
        n += 1
    return pages


DARK = bytes(1 if v < 128 else 0 for v in range(256))


def within_a_pixel(rows):
    """Each bit with its eight neighbours: what lies within a pixel of the ink."""
    widened = [r | (r << 8) | (r >> 8) for r in rows]  # a byte a pixel
    return [widened[i] | (widened[i - 1] if i else 0) | (widened[i + 1] if i + 1 < len(rows) else 0)
            for i in range(len(rows))]


def ink_near(a, b):
    """The share of a's ink that lies within a pixel of b's."""
    near = within_a_pixel(b)
    ink = sum(bin(r).count("1") for r in a)
    kept = sum(bin(r & n).count("1") for r, n in zip(a, near))
    return kept / ink if ink else 1.0


def compare_drawn_pages(a_file, b_file, name):
    gpcl6 = interpreter()
    if not gpcl6:
        return None
    with tempfile.TemporaryDirectory() as folder:
        a_pages, b_pages = [dark_rows(f, folder, gpcl6) for f in (a_file, b_file)]
    if len(a_pages) != len(b_pages):
        return f"port output {name}: {len(a_pages)} pages printed on the simulated machine, {len(b_pages)} under Wine"
    for k, (a, b) in enumerate(zip(a_pages, b_pages)):
        overlap = min(ink_near(a, b), ink_near(b, a))
        if overlap < INK_OVERLAP:
            return (f"port output {name}, page {k + 1}: {overlap:.1%} of the ink within a pixel of the other's "
                    f"at {DPI} dpi (at least {INK_OVERLAP:.0%} wanted)")
    return None


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


def watermark_files(c):
    folder = find_folder(c, FOLDERS[0])
    return {n: read(p) for n, p in files_below(folder).items() if WATERMARK_FILES.search(n)}


def compare_documents(linux_out, wine_out, linux_c, wine_c):
    docs = lambda d: sorted(n for n in os.listdir(d) if n.endswith(".prn"))
    if docs(linux_out) != docs(wine_out):
        return f"documents: simulated {docs(linux_out)}, Wine {docs(wine_out)}"
    drawn_a, drawn_b = watermark_files(linux_c), watermark_files(wine_c)
    for name in docs(linux_out):
        a, b = read(os.path.join(linux_out, name)), read(os.path.join(wine_out, name))
        if a == b:
            continue
        # Each side's watermark where the other's stood: the rest is the component's.
        swapped = a
        for n, drawing in drawn_a.items():
            if n in drawn_b and drawing:
                swapped = swapped.replace(drawing, drawn_b[n])
        if swapped != b:
            return f"port output {name}: " + first_bytes_difference(swapped, b)
        problem = compare_drawn_pages(os.path.join(linux_out, name), os.path.join(wine_out, name), name)
        if problem:
            return problem
    return None


# The port documents' sizes, where the watermarks were drawn differently:
# their bytes are compared with the drawings swapped (compare_documents).
PORT_DOCUMENT_SIZE = re.compile(r'("event":"document".*"bytes":)[0-9]+(,"file":"doc-)')


def compare_events(linux_out, wine_out, drawn):
    def normalise(line):
        line = normalise_event(line)
        return PORT_DOCUMENT_SIZE.sub(r"\1#\2", line) if drawn else line
    events = lambda d: [normalise(l) for l in read(os.path.join(d, "events.jsonl")).decode().splitlines()]
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
        drawn = lambda n: WATERMARK_FILES.search(n) and n in a and n in b  # compared as drawn, in the pages
        for n in names:
            if n not in a or n not in b:
                return f"C:/{folder}/{n}: only {'on the simulated machine' if n in a else 'under Wine'}"
            x, y = normalise_file(n, read(a[n])), normalise_file(n, read(b[n]))
            if x != y and not drawn(n):
                return f"C:/{folder}/{n}: " + first_bytes_difference(x, y)
    return None


def leaks(out):
    return [l for l in read(os.path.join(out, "events.jsonl")).decode().splitlines() if '"event":"leak"' in l]


def main():
    linux_out, wine_out, linux_c, wine_c = sys.argv[1:5]
    drawn = watermark_files(linux_c) != watermark_files(wine_c)
    problems = [compare_documents(linux_out, wine_out, linux_c, wine_c), compare_events(linux_out, wine_out, drawn),
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
