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
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r300 -sPAPERSIZE=letter -sOutputFile=booklet.pxl src/booklet.ps
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r300 -sPAPERSIZE=letter -sOutputFile=form.pxl src/form.ps
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r300 -sPAPERSIZE=letter -sOutputFile=letterhead.pxl src/letterhead.ps
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r300 -sPAPERSIZE=letter -sOutputFile=letter-long.pxl src/letter-long.ps

mkjob=$build/tools/kqxl-mkjob
job() {  # NAME DOCUMENT [FIELD=VALUE ...]
  local name=$1 doc=$2
  shift 2
  "$mkjob" -o "$name.job" settings "$@" "$doc"
}
# Manual duplex and software booklets: the INI file's MD_ManualDuplex picks
# how the passes are split.
split() {  # NAME M DOCUMENT [FIELD=VALUE ...]
  local name=$1 m=$2 doc=$3
  shift 3
  job "$name" "$doc" "$@"
  { echo "ini \"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXLEN.INI\" DUPLEX MD_ManualDuplex \"$m\""
    cat "$name.job"; } > "$name.tmp" && mv "$name.tmp" "$name.job"
}
duplex() {  # NAME M [FIELD=VALUE ...]
  local name=$1 m=$2
  shift 2
  split "$name" "$m" mixed.pxl wManualDuplex=1 "$@"
}

# A job of a user of another language: the machine set to its code page and
# locale first.
lang() {  # NAME CODEPAGE LOCALE DOCUMENT [FIELD=VALUE ...]
  local name=$1 cp=$2 locale=$3 doc=$4
  shift 4
  "$mkjob" --codepage "$cp" --locale "$locale" -o "$name.job" settings "$@" "$doc"
}

job letter letter.pxl szDefaultUserId=demo
job numbered numbered.pxl
job numbered-watermark-outline numbered.pxl wWatermark=1 "szWatermarkText=CONFIDENTIAL" "szWatermarkFont=DejaVu Sans" \
  wWatermarkSize=54 wWatermarkAngle=45 wWatermarkOutline=1 dwWatermarkColor=0x808080 dwWatermarkWeight=700
job numbered-watermark-first numbered.pxl wWatermark=1 szWatermarkText=DRAFT "szWatermarkFont=DejaVu Serif" \
  wWatermarkSize=96 dwWatermarkColor=0xC0C0C0 wWatermarkFirstOnly=1
job mixed-watermark mixed.pxl wWatermark=1 szWatermarkText=DRAFT "szWatermarkFont=DejaVu Sans" wWatermarkSize=72 \
  wWatermarkAngle=30 wWatermarkOutline=1 dwWatermarkColor=0x0000FF
# Watermarks as their users write them: Japanese, and Hebrew, which runs
# right to left.
lang letter-watermark-japanese 932 0x0411 letter-long.pxl wWatermark=1 "szWatermarkText=社外秘" \
  "szWatermarkFont=ＭＳ ゴシック" wWatermarkSize=96 wWatermarkAngle=30 dwWatermarkColor=0x909090
lang letter-watermark-hebrew 1255 0x040D letter-long.pxl wWatermark=1 "szWatermarkText=סודי ביותר" \
  "szWatermarkFont=David" wWatermarkSize=72 wWatermarkOutline=1 dwWatermarkColor=0x0000C0 dwWatermarkWeight=700
job numbered-reverse numbered.pxl wReverseOrder=1
job numbered-odd numbered.pxl wReverseOrder=2
job numbered-even numbered.pxl wReverseOrder=3
job numbered-collated numbered.pxl wCollate=1 dmCopies=2
job numbered-ohp-1 numbered.pxl wMediaType=3 wOhpMode=1
job numbered-ohp-2 numbered.pxl wMediaType=3 wOhpMode=2
job numbered-ohp-3-after numbered.pxl wMediaType=3 wOhpMode=3 wOhpSeparatorAfter=1
duplex mixed-duplex-m0 0
duplex mixed-duplex-m1 1 wInstructionPage=1
duplex mixed-duplex-m2 2 wBackSideOrder=1
# The user cancels the two-document job while the re-insert prompt is up:
# the backs stay printed, and no second document starts.
{ echo "# Made from mixed-duplex-m1.job: the user cancels the job while the re-insert prompt"
  echo "# is up. The backs stay printed; no second document starts."
  grep -v "^# Made by" mixed-duplex-m1.job | sed 's/^enddoc/cancel box\nenddoc/'; } > mixed-duplex-m1-cancelled.job
# Booklets: printer-made from eight pages with two landscape ones, two-pass
# from six pages in one document (M 0) and in two (M 1), and one of portrait
# and landscape pages.
job booklet-hardware booklet.pxl wBooklet=1 wHardwareBooklet=2
split numbered-booklet-m0 0 numbered.pxl wBooklet=1 wManualDuplex=2
split numbered-booklet-m1 1 numbered.pxl wBooklet=1 wManualDuplex=2
job mixed-booklet mixed.pxl wBooklet=1 wHardwareBooklet=2
# A form recorded from one job, then printed under the pages of the next
# (in reverse order, so that the overlay goes through the spool file too).
form='C:\forms\letterhead.ovl'
"$mkjob" -o form-record.tmp settings wOverlayMode=2 "szOverlayFile=$form" form.pxl
"$mkjob" -o form-print.tmp settings wOverlayMode=1 "szOverlayFile=$form" wReverseOrder=1 numbered.pxl
{ echo 'file "C:\forms\about.txt" text "Forms recorded from jobs."'; cat form-record.tmp form-print.tmp; } > form-overlay.job
rm form-record.tmp form-print.tmp
# A letterhead with text (its fonts downloaded in its page, as Ghostscript
# does) recorded, then printed under every page of a three-page letter, as
# written and with two collated copies.
form='C:\forms\kestrel.ovl'
"$mkjob" -o letterhead-record.tmp settings wOverlayMode=2 "szOverlayFile=$form" letterhead.pxl
"$mkjob" -o letterhead-print.tmp settings wOverlayMode=1 "szOverlayFile=$form" letter-long.pxl
"$mkjob" -o letterhead-copies.tmp settings wOverlayMode=1 "szOverlayFile=$form" wCollate=1 dmCopies=2 letter-long.pxl
{ echo 'file "C:\forms\about.txt" text "Forms recorded from jobs."'
  cat letterhead-record.tmp letterhead-print.tmp letterhead-copies.tmp; } > letterhead.job
rm letterhead-record.tmp letterhead-print.tmp letterhead-copies.tmp
