#!/usr/bin/env bash
# The benchmarks of a job's path on the base commit and on the working tree,
# built side by side (RelWithDebInfo) and run alternating on this machine, so
# that both meet the same noise: process_bench's whole runs against dd, its
# small jobs, and the watermarked small jobs.
#
# Usage: tools/bench-compare.sh BASE [ROUNDS]
#   BASE    a commit (the one a change started from)
#   ROUNDS  rounds of base-then-tree (2 by default)
# KQXL_BENCH_MB sets process_bench's document (100 MiB by default). Builds are
# kept in build-bench/ for the next comparison; the tree's is build-bench/tree.
set -euo pipefail

usage() { sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; }
[[ $# -ge 1 && $1 != -h && $1 != --help ]] || { usage; [[ $# -ge 1 ]] && exit 0 || exit 2; }

top=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
base=$(git -C "$top" rev-parse --verify "$1^{commit}") || { echo "bench-compare: no commit \"$1\"" >&2; exit 2; }
rounds=${2:-2}
work=$top/build-bench
mkdir -p "$work"

# An older commit may not have every benchmark: those it lacks are left out.
build() {  # SOURCE BUILD
  local targets=(kqxl-run kqxl-mkjob process_bench)
  [[ -f $1/bench/watermark_bench.cpp ]] && targets+=(watermark_bench)
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$2" --target "${targets[@]}" >/dev/null
}

baseSrc=$work/base-${base:0:12}/src
if [[ ! -f $baseSrc/CMakeLists.txt ]]; then
  rm -rf "$baseSrc" && mkdir -p "$baseSrc"
  git -C "$top" archive "$base" | tar -x -C "$baseSrc"
fi
echo "bench-compare: building ${base:0:12} and the working tree" >&2
build "$baseSrc" "$work/base-${base:0:12}/build"
build "$top" "$work/tree"

results=$work/results-$$
mkdir -p "$results"
trap 'rm -rf "$results"' EXIT
for ((r = 1; r <= rounds; ++r)); do
  for side in base tree; do
    dir=$work/tree
    [[ $side == base ]] && dir=$work/base-${base:0:12}/build
    echo "bench-compare: round $r of $rounds, $side" >&2
    "$dir/bench/process_bench" --benchmark_filter='Direct|Reverse|Collated|Ohp|ManualDuplex|Booklet|SmallJobs/' \
      --benchmark_format=json >"$results/$side-process-$r.json" 2>/dev/null
    [[ -x $dir/bench/watermark_bench ]] &&
      "$dir/bench/watermark_bench" --benchmark_format=json >"$results/$side-watermark-$r.json" 2>/dev/null
  done
done

python3 - "$results" "${base:0:12}" "$rounds" <<'EOF'
import json, statistics, sys
results, base, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])

def load(side, kind):
    runs = {}
    for r in range(1, rounds + 1):
        try:
            benchmarks = json.load(open(f"{results}/{side}-{kind}-{r}.json"))["benchmarks"]
        except (OSError, ValueError, KeyError):
            continue  # not in that build, or it failed: its rows are left out
        for b in benchmarks:
            runs.setdefault(b["name"].split("/")[0], []).append(b)
    return runs

def show(title, kind, value, unit):
    b, t = load("base", kind), load("tree", kind)
    print(f"\n{title}\n")
    print(f"| benchmark | {base} | tree | tree / base |")
    print("|---|---|---|---|")
    for name in b:
        if name not in t: continue
        vb = [value(x) for x in b[name] if value(x) is not None]
        vt = [value(x) for x in t[name] if value(x) is not None]
        if not vb or not vt: continue
        mb, mt = statistics.median(vb), statistics.median(vt)
        print(f"| {name} | {' '.join(f'{v:.3g}' for v in vb)} | {' '.join(f'{v:.3g}' for v in vt)} | {mt / mb:.3f} |")
    print(f"\n({unit}; each round's figure, base then tree; the last column compares the medians)")

show("Whole runs against dd: kqxl-run's time over the floor's", "process",
     lambda x: x.get("ratio"), "ratio to dd, lower is faster")
show("Small jobs", "process", lambda x: x.get("jobs_per_s"), "jobs a second, higher is faster")
show("Watermarked one-page jobs", "watermark", lambda x: x.get("real_time"), "microseconds a job, lower is faster")
EOF
