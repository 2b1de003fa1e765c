#!/usr/bin/python3
"""Mutation testing of the component: does a test fail when the code is wrong?

Takes mutation points from the syntax tree of src/ (libclang), applies one
mutant at a time to a copy of the tree, builds it, and runs the component's
suites and then the printer suite, each with a time limit. A mutant that
makes a suite fail is killed; one that every suite passes survived; one that
does not build is stillborn and not counted.

    mutate.py [--count N] [--seed S] [--timeout SECONDS] [--only PATTERN] [--work DIR] [--list]

The copy is of the files git tracks, as they stand in the working tree. The
report (survivors with their place and change, and the score) goes to
stdout and to WORK/report.md.
"""
import argparse
import fnmatch
import json
import os
import random
import resource
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

import clang.cindex as ci

ROOT = Path(__file__).resolve().parents[2]
LIBCLANG = "/usr/lib/llvm-14/lib/libclang-14.so.1"
TARGETS = ["component_tests", "printer_tests", "faultloop_tests", "machine", "kqxl-run"]
# The suites in the order they run: the quick one first, the printer's and
# the fault loop only for what it let through.
SUITES = ["tests/component_tests", "tests/printer_tests", "tests/faultloop_tests"]

COMPARISONS = {"<": ">=", "<=": ">", ">": "<=", ">=": "<", "==": "!=", "!=": "=="}
LOGICAL = {"&&": "||", "||": "&&"}
ARITHMETIC = {"+": "-", "-": "+"}
BOOLEANS = {"TRUE": "FALSE", "FALSE": "TRUE", "true": "false", "false": "true"}


@dataclass
class Mutant:
    path: str  # relative to the tree
    start: int  # byte offsets of the text replaced
    end: int
    replacement: str
    operator: str
    line: int

    def describe(self, source: bytes) -> str:
        old = source[self.start:self.end].decode(errors="replace").replace("\n", " ")
        if len(old) > 60:
            old = old[:57] + "..."
        return f"{self.path}:{self.line}: {self.operator}: `{old}` -> `{self.replacement[:60]}`"


def tokens_between(cursor, start, end):
    return [t for t in cursor.get_tokens() if start <= t.extent.start.offset and t.extent.end.offset <= end]


def operator_token(cursor):
    children = list(cursor.get_children())
    if len(children) != 2:
        return None
    lhs_end, rhs_start = children[0].extent.end.offset, children[1].extent.start.offset
    for t in cursor.get_tokens():
        if t.kind == ci.TokenKind.PUNCTUATION and lhs_end <= t.extent.start.offset < rhs_start:
            return t
    return None


def points_of(path: Path, rel: str, args):
    index = ci.Index.create()
    unit = index.parse(str(path), args=args, options=0)
    found = []

    def add(start, end, replacement, operator, line):
        found.append(Mutant(rel, start, end, replacement, operator, line))

    def visit(cursor, parent_kind):
        if cursor.location.file and Path(cursor.location.file.name).resolve() != path.resolve():
            return
        kind = cursor.kind
        ext = cursor.extent
        if kind == ci.CursorKind.BINARY_OPERATOR:
            tok = operator_token(cursor)
            if tok is not None:
                spelling = tok.spelling
                for table, name in ((COMPARISONS, "comparison flipped"), (LOGICAL, "logic swapped"),
                                    (ARITHMETIC, "arithmetic swapped")):
                    if spelling in table:
                        add(tok.extent.start.offset, tok.extent.end.offset, table[spelling], name, tok.location.line)
        elif kind == ci.CursorKind.INTEGER_LITERAL:
            toks = list(cursor.get_tokens())
            if len(toks) == 1 and toks[0].spelling.isdigit():
                value = int(toks[0].spelling)
                add(ext.start.offset, ext.end.offset, str(value + 1), "constant off by one", ext.start.line)
        elif kind == ci.CursorKind.IF_STMT:
            children = list(cursor.get_children())
            if children:
                cond = children[0]
                if cond.kind != ci.CursorKind.DECL_STMT:
                    text = path.read_bytes()[cond.extent.start.offset:cond.extent.end.offset].decode(errors="replace")
                    add(cond.extent.start.offset, cond.extent.end.offset, f"!({text})", "condition negated",
                        cond.extent.start.line)
        elif kind == ci.CursorKind.CALL_EXPR and parent_kind == ci.CursorKind.COMPOUND_STMT:
            add(ext.start.offset, ext.end.offset, "(void)0", "call deleted", ext.start.line)
        elif kind == ci.CursorKind.RETURN_STMT:
            toks = [t.spelling for t in cursor.get_tokens()]
            if len(toks) >= 2 and toks[1] in BOOLEANS and (len(toks) == 2 or toks[2] == ";"):
                t = list(cursor.get_tokens())[1]
                add(t.extent.start.offset, t.extent.end.offset, BOOLEANS[t.spelling], "return value changed",
                    t.location.line)
        for child in cursor.get_children():
            visit(child, kind)

    for child in unit.cursor.get_children():
        visit(child, None)
    # One mutant a place and change.
    unique = {(m.start, m.end, m.replacement): m for m in found}
    return sorted(unique.values(), key=lambda m: (m.path, m.start))


MEMORY_LIMIT = 4 << 30  # a mutant that runs away with memory fails, not the machine


def limit_memory():
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_LIMIT, MEMORY_LIMIT))


def run(cmd, cwd, timeout, limited=False):
    try:
        r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout,
                           preexec_fn=limit_memory if limited else None)
        return r.returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def copy_tree(work: Path) -> Path:
    tree = work / "tree"
    files = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, check=True, capture_output=True).stdout.split(b"\0")
    for f in files:
        if not f:
            continue
        rel = f.decode()
        src, dst = ROOT / rel, tree / rel
        if not src.is_file():
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        if not dst.exists() or dst.read_bytes() != src.read_bytes():
            shutil.copy2(src, dst)
    # The printer suite finds the interpreter beside the project.
    shared = work / "shared"
    if not shared.exists() and (ROOT.parent / "shared").exists():
        shared.symlink_to(ROOT.parent / "shared")
    return tree


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--count", type=int, default=200)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--timeout", type=int, default=0,
                    help="seconds a suite may take (default: three times what it took unmutated, and 30 more)")
    ap.add_argument("--only", default="src/*.cpp", help="files to mutate (a glob of tree paths)")
    ap.add_argument("--work", default=str(ROOT / "build-mutate"))
    ap.add_argument("--list", action="store_true", help="list the sampled mutants and stop")
    opts = ap.parse_args()
    ci.Config.set_library_file(LIBCLANG)

    work = Path(opts.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    tree = copy_tree(work)
    build = work / "build"
    subprocess.run(["cmake", "-S", str(tree), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"], check=True, stdout=subprocess.DEVNULL)
    commands = {Path(c["file"]).resolve(): c for c in json.loads((build / "compile_commands.json").read_text())}

    sources = sorted(p for p in (tree / "src").rglob("*.cpp") if fnmatch.fnmatch(str(p.relative_to(tree)), opts.only))
    points = []
    for path in sources:
        entry = commands.get(path.resolve())
        if not entry:
            continue
        args = [a for a in entry["command"].split()[1:] if a.startswith(("-I", "-D", "-std", "-isystem"))]
        points += points_of(path, str(path.relative_to(tree)), args + ["-x", "c++"])
    rng = random.Random(opts.seed)
    # In the sampled order: a run stopped early still covers the whole tree.
    sample = rng.sample(points, min(opts.count, len(points)))
    originals = {m.path: (tree / m.path).read_bytes() for m in sample}
    print(f"mutate: {len(points)} mutation points in {len(sources)} files; {len(sample)} sampled (seed {opts.seed})")
    if opts.list:
        for m in sample:
            print("  " + m.describe(originals[m.path]))
        return 0

    def build_all():
        return run(["cmake", "--build", str(build), "--target", *TARGETS], build, 1800)

    if build_all() != 0:
        print("mutate: the unmutated tree does not build", file=sys.stderr)
        return 2
    limits = {}
    for s in SUITES:
        began = time.time()
        if run([str(build / s)], build, 1800, limited=True) != 0:
            print(f"mutate: the unmutated tree fails {s}", file=sys.stderr)
            return 2
        limits[s] = opts.timeout or int(3 * (time.time() - began)) + 30
    print("mutate: time limits " + ", ".join(f"{Path(s).name} {t} s" for s, t in limits.items()), flush=True)

    killed, survived, stillborn = [], [], []
    started = time.time()

    def report():
        counted = len(killed) + len(survived)
        score = 100.0 * len(killed) / counted if counted else 0.0
        lines = [f"# Mutation run, seed {opts.seed}", "",
                 f"{counted + len(stillborn)} of {len(sample)} mutants run ({len(points)} points): {len(killed)} "
                 f"killed, {len(survived)} survived, {len(stillborn)} stillborn; score {score:.1f} % "
                 f"({time.time() - started:.0f} s)", "", "## Survivors", ""]
        lines += [f"- {s}" for s in survived] or ["(none)"]
        text = "\n".join(lines) + "\n"
        (work / "report.md").write_text(text)
        print(text)

    try:
        for n, m in enumerate(sample, 1):
            source = originals[m.path]
            mutated = source[:m.start] + m.replacement.encode() + source[m.end:]
            (tree / m.path).write_bytes(mutated)
            what = m.describe(source)
            if build_all() != 0:
                stillborn.append(what)
                verdict = "stillborn"
            else:
                verdict = "survived"
                for s in SUITES:
                    rc = run([str(build / s)], build, limits[s], limited=True)
                    if rc != 0:
                        verdict = f"killed by {Path(s).name}" + (" (timeout)" if rc == "timeout" else "")
                        break
                (killed if verdict.startswith("killed") else survived).append(what)
            (tree / m.path).write_bytes(source)
            print(f"[{n}/{len(sample)}] {verdict}: {what}", flush=True)
    except KeyboardInterrupt:
        print("mutate: stopped; the report covers the mutants run", flush=True)
    finally:
        for path, source in originals.items():
            (tree / path).write_bytes(source)
        report()
    return 0


if __name__ == "__main__":
    sys.exit(main())
