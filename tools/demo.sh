#!/usr/bin/env bash
# Plays every job script of examples/ through the component and checks
# what reached the printer port as a printer would read it.
set -euo pipefail
build=${1:-build}
out=$build/demo
rm -rf "$out"
for job in examples/*.job; do
  name=$(basename "$job" .job)
  echo "== $job"
  "$build/tools/kqxl-run" -o "$out/$name" "$job"
  for doc in "$out/$name"/doc-*.prn; do
    printf '   %s: ' "$doc"
    if [ -s "$doc" ]; then "$build/tools/pxldump" --check "$doc" || true; else echo "(empty)"; fi
  done
done
echo "== port output in $out/"
