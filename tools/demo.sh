#!/usr/bin/env bash
# demo.sh [BUILD [OUT]]: plays every job script of examples/ through the
# component, checks what reached the printer port as a printer would read
# it, and writes OUT/index.html (OUT: BUILD/demo): every example's jobs, boxes and printed pages
# (kqxl-report; the pages where a PCL XL interpreter is found).
set -euo pipefail
build=${1:-build}
out=${2:-$build/demo}
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
echo "== the report"
"$build/tools/kqxl-report" "$out" | sed 's/^/   /'
grep -o 'class=failed>Printer: [^<]*' "$out/index.html" | sed 's/^class=failed>/   NOT PRINTED: /' || true
echo "== open $out/index.html in a browser to see what the printer would print"
