#!/usr/bin/env bash
# Regenerates the examples: the PCL XL documents from their PostScript
# sources with Ghostscript's PCL XL devices, then the job scripts from the
# documents with kqxl-mkjob. Everything is committed, so that nothing else
# needs Ghostscript. Usage: examples/make-examples.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")"
build=${1:-../build}
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r600 -sPAPERSIZE=letter -sOutputFile=letter.pxl src/letter.ps
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r300 -sPAPERSIZE=letter -sOutputFile=numbered.pxl src/numbered.ps
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlcolor -r300 -sOutputFile=mixed.pxl src/mixed.ps

mkjob=$build/tools/kqxl-mkjob
"$mkjob" -o letter.job settings szDefaultUserId=demo letter.pxl
"$mkjob" -o numbered.job numbered.pxl
"$mkjob" -o mixed-watermark.job settings wWatermark=1 szWatermarkText=DRAFT mixed.pxl
