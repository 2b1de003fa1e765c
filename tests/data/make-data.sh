#!/usr/bin/env bash
# Regenerates the Ghostscript-made test documents; they are committed, so
# that the tests need no Ghostscript.
set -euo pipefail
cd "$(dirname "$0")"
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r300 -sOutputFile=a4-landscape.pxl src/a4-landscape.ps
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r600 -sOutputFile=blank.pxl src/blank.ps
