#!/usr/bin/env bash
# Plays every job script of examples/ through the component and checks
# what reached the printer port as a printer would read it; where a real
# PCL XL interpreter lies beside the project (../shared/tools/pxl-print, or
# KQXL_PRINTER_TOOLS), every output is printed on it too.
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
printer=${KQXL_PRINTER_TOOLS:-../shared/tools}/pxl-print
if [ -x "$printer" ]; then
  echo "== printed on a PCL XL interpreter ($printer)"
  "$printer" "$out"/*/doc-*.prn || true
else
  echo "== no PCL XL interpreter at $printer: outputs not printed"
fi
echo "== port output in $out/"
