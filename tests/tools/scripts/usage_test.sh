#!/usr/bin/env bash
# The project's shell tools as a new user first runs them: a usage, not a
# shell error, and the interpreter named the way the other tools name it.
set -u
src=$1
failed=0
expect() {  # expect STATUS PATTERN COMMAND...
  local status=$1 pattern=$2
  shift 2
  local out rc
  out=$("$@" 2>&1)
  rc=$?
  if [ "$rc" -ne "$status" ] || ! grep -qE "$pattern" <<<"$out"; then
    echo "FAIL: $* -> $rc: $out (wanted $status, /$pattern/)"
    failed=1
  fi
}
expect 2 '^usage: tools/check-windows-dll.sh DLL' bash "$src/tools/check-windows-dll.sh"
expect 0 '^usage: tools/check-windows-dll.sh DLL' bash "$src/tools/check-windows-dll.sh" --help
expect 2 'no such file' bash "$src/tools/check-windows-dll.sh" /no/such.dll
expect 2 '^usage: pxl-print' "$src/tools/pxl-print"
expect 2 'set KQXL_GPCL6' env -u GPCL6 -u KQXL_GPCL6 PATH=/nowhere:/usr/bin:/bin "$src/tools/pxl-print" x.prn
# KQXL_GPCL6 is taken as GPCL6 is: a stand-in interpreter that prints one page.
fake=$(mktemp -d)
printf '#!/bin/sh\necho "%%%%BoundingBox: 0 0 1 1"\n' >"$fake/gpcl6"
chmod +x "$fake/gpcl6"
printf 'x' >"$fake/doc.prn"
expect 0 'doc.prn: ok \(pages 1\)' env -u GPCL6 KQXL_GPCL6="$fake/gpcl6" "$src/tools/pxl-print" "$fake/doc.prn"
expect 2 'is no program' env -u GPCL6 KQXL_GPCL6="$fake/none" "$src/tools/pxl-print" "$fake/doc.prn"
rm -rf "$fake"
exit $failed
