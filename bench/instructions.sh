#!/usr/bin/env bash
# The component's instructions, counted by callgrind, which does not vary
# with the machine's noise: per MiB of a direct and of a reverse-order job
# (the document of process_bench, KQXL_BENCH_MB of it) and per job of
# process_bench's 2,000 one-page jobs.
#
# "own" is the instructions executed in the component's code; "hooks" is
# everything the seven hooks run, the simulated Windows calls they make and
# the C library included (for a direct job, mostly copying the bytes to the
# port).
#
# Usage: bench/instructions.sh [BUILD]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d /tmp/kqxl-instructions-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/bench/process_bench" --scripts "$work"
mib=$(( $(stat -L -c %s "$work"/kqxl-process-bench-*mb.pxl) / 1048576 ))
jobs=$(grep -c '^startdoc' "$work/small.job")

# Prints "OWN HOOKS": the component's self cost, and the inclusive cost of
# its hooks (which do not call one another).
count() {
  local out="$work/callgrind.$1"
  valgrind --tool=callgrind --callgrind-out-file="$out" "$build/tools/kqxl-run" -o "$work/out-$1" "$work/$1.job" \
    >/dev/null 2>"$work/valgrind-$1.log"
  local own hooks
  own=$(callgrind_annotate --inclusive=no --threshold=100 "$out" 2>/dev/null |
    awk '$NF ~ /KQXLUMPD\.DLL\]$/ { gsub(/,/, "", $1); n += $1 } END { print n + 0 }')
  hooks=$(callgrind_annotate --inclusive=yes --threshold=100 "$out" 2>/dev/null |
    awk '$0 ~ /:DrvSpl[A-Za-z]+ .*KQXLUMPD\.DLL\]$/ { gsub(/,/, "", $1); n += $1 } END { print n + 0 }')
  echo "$own $hooks"
}

read -r directOwn directHooks < <(count direct)
read -r reverseOwn reverseHooks < <(count reverse)
read -r smallOwn smallHooks < <(count small)

printf '%-32s %14s %14s\n' "instructions" "own" "hooks"
printf '%-32s %14d %14d\n' "per MiB, direct ($mib MiB)" $((directOwn / mib)) $((directHooks / mib))
printf '%-32s %14d %14d\n' "per MiB, reverse order" $((reverseOwn / mib)) $((reverseHooks / mib))
printf '%-32s %14d %14d\n' "per job ($jobs one-page jobs)" $((smallOwn / jobs)) $((smallHooks / jobs))
