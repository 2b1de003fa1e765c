#!/usr/bin/env bash
# The component's instructions, counted by callgrind, which does not vary
# with the machine's noise: per MiB of a direct and of a reverse-order job
# (the document of process_bench, KQXL_BENCH_MB of it) and per job of
# process_bench's 2,000 one-page jobs.
#
# "own" is the instructions executed in the component's code; "hooks" is
# everything the seven hooks run, the simulated Windows calls they make and
# the C library included (for a direct job, mostly copying the bytes to the
# port), but not kqxl-run's verdict; "verdict" is kqxl-run's checker, which
# judges the port's bytes inside the printer writes as they pass.
#
# Usage: bench/instructions.sh [BUILD]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d /tmp/kqxl-instructions-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/bench/process_bench" --scripts "$work"
mib=$(( $(stat -L -c %s "$work"/kqxl-process-bench-*.pxl) / 1048576 ))
jobs=$(grep -c '^startdoc' "$work/small.job")

# Reads a callgrind output file and prints "OWN HOOKS VERDICT": the
# instructions executed in the component's object, those of every call made
# into a DrvSpl* hook (the hooks do not call one another) less the verdict's,
# and those of the verdict's calls. Names may be given once
# and then referred to by number, "(N)", objects and functions apart; the
# cost line after "calls=" is the
# call's inclusive cost, not the caller's own.
tally() {
  awk '
    function named(field, table,    id, rest) {
      id = field; rest = ""
      if (index(field, " ")) { id = substr(field, 1, index(field, " ") - 1); rest = substr(field, index(field, " ") + 1) }
      if (rest != "") table[id] = rest
      return table[id]
    }
    /^ob=/  { ob = named(substr($0, 4), objects); next }
    /^cob=/ { named(substr($0, 5), objects); next }
    /^fn=/  { named(substr($0, 4), functions); next }
    /^cfn=/ { callee = named(substr($0, 5), functions); next }
    /^calls=/ { call = 1; next }
    /^[0-9+*-]/ {
      if (call) {
        if (callee ~ /^DrvSpl[A-Za-z]+$/) hooks += $2
        if (callee ~ /PrinterVerdict::feed/) verdict += $2
        call = 0
      }
      else if (ob ~ /KQXLUMPD\.DLL$/) own += $2
    }
    END { printf "%d %d %d\n", own, hooks - verdict, verdict }' "$1"
}

count() {
  local out="$work/callgrind.$1"
  valgrind --tool=callgrind --callgrind-out-file="$out" "$build/tools/kqxl-run" -o "$work/out-$1" "$work/$1.job" \
    >/dev/null 2>"$work/valgrind-$1.log"
  tally "$out"
}

read -r directOwn directHooks directVerdict < <(count direct)
read -r reverseOwn reverseHooks reverseVerdict < <(count reverse)
read -r smallOwn smallHooks smallVerdict < <(count small)

printf '%-32s %14s %14s %14s\n' "instructions" "own" "hooks" "verdict"
printf '%-32s %14d %14d %14d\n' "per MiB, direct ($mib MiB)" $((directOwn / mib)) $((directHooks / mib)) \
  $((directVerdict / mib))
printf '%-32s %14d %14d %14d\n' "per MiB, reverse order" $((reverseOwn / mib)) $((reverseHooks / mib)) \
  $((reverseVerdict / mib))
printf '%-32s %14d %14d %14d\n' "per job ($jobs one-page jobs)" $((smallOwn / jobs)) $((smallHooks / jobs)) \
  $((smallVerdict / jobs))
