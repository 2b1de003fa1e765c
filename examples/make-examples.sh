#!/usr/bin/env bash
# Regenerates the PCL XL documents of examples/ from their PostScript
# sources with Ghostscript's PCL XL device. The results are committed, so
# that nothing else needs Ghostscript.
set -euo pipefail
cd "$(dirname "$0")"
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r600 -sPAPERSIZE=letter -sOutputFile=letter.pxl src/letter.ps
