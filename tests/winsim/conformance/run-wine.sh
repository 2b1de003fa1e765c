#!/usr/bin/env bash
# The conformance suite under Wine, on each Windows architecture this machine
# runs: a prefix of its own with a printer on Wine's PostScript driver
# (its module and a PPD in the driver folder), the suite's .exe run in it.
#   run-wine.sh   (ROOT: the tree with build-win-ARCH-conformance/)
set -euo pipefail
root=${ROOT:-$(cd "$(dirname "$0")/../../.." && pwd)}
work=${WINE_WORK:-$root/build-wine}
export WINEDEBUG=-all
ppd=$(ls /usr/share/ghostscript/*/lib/ghostpdf.ppd 2>/dev/null | head -n 1)
[ -n "$ppd" ] || { echo "conformance: no ghostpdf.ppd (Ghostscript) for Wine's printer" >&2; exit 1; }
status=0
for arch in x86_64 i686; do
  if [ "$arch" = x86_64 ]; then
    wine=/usr/lib/wine/wine64 winearch=win64 drivers=x64/3 ps=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  else
    wine=/usr/lib/wine/wine winearch=win32 drivers=w32x86/3 ps=/usr/lib/i386-linux-gnu/wine/i386-windows
  fi
  if ! "$wine" --version >/dev/null 2>&1; then
    echo "skipped  $arch conformance: $wine does not run here"
    continue
  fi
  exe=$root/build-win-$arch-conformance/tests/winsim/conformance/conformance.exe
  [ -f "$exe" ] || { echo "no $exe: run make cross first" >&2; exit 1; }
  prefix=$work/$arch/conformance-prefix
  if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    WINEPREFIX=$prefix WINEARCH=$winearch "$wine" wineboot -i >/dev/null 2>&1
  fi
  d=$prefix/drive_c/windows/system32/spool/drivers/$drivers
  mkdir -p "$d"
  cp "$ps/wineps.drv" "$d/" && cp "$ppd" "$d/generic.ppd"
  # An English machine (code page 1252), then a Japanese one (932).
  for lang in C.UTF-8 ja_JP.UTF-8; do
    log=$work/$arch/conformance-$lang.log
    if LANG=$lang WINEPREFIX=$prefix timeout 600 "$wine" "$exe" --gtest_brief=1 > "$log" 2>&1; then
      echo "ok       $arch conformance, $lang ($(grep -o -E '[0-9]+ tests? from [0-9]+ test suites? ran' "$log"))"
    else
      echo "FAILED   $arch conformance, $lang"
      tail -n 40 "$log" | sed 's/^/    /'
      status=1
    fi
  done
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
done
exit $status
