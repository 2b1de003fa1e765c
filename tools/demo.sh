#!/usr/bin/env bash
# Plays every job script of examples/ through the component and prints what
# reached the printer port.
set -euo pipefail
build=${1:-build}
out=$build/demo
rm -rf "$out"
for job in examples/*.job; do
  name=$(basename "$job" .job)
  echo "== $job"
  "$build/tools/kqxl-run" -o "$out/$name" "$job"
done
echo "== port output in $out/"
