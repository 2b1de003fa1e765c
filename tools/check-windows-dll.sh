#!/usr/bin/env bash
# Checks a cross-built component DLL: it exports exactly the seven spooler
# hooks under their undecorated names and imports nothing but system DLLs
# and msvcrt (the C++ runtime is linked in).
set -euo pipefail
usage() { echo "usage: tools/check-windows-dll.sh DLL   (e.g. build-win-x86_64/src/KQXLUMPD.DLL after make cross)"; }
case "${1:-}" in
  -h | --help) usage; exit 0 ;;
  "") usage >&2; exit 2 ;;
esac
[ $# -eq 1 ] || { usage >&2; exit 2; }
dll=$1
[ -f "$dll" ] || { echo "check-windows-dll: $dll: no such file" >&2; exit 2; }
objdump=${OBJDUMP:-objdump}
dump=$("$objdump" -p "$dll")

expected="DrvSplAbort DrvSplClose DrvSplEndDoc DrvSplEndPage DrvSplStartDoc DrvSplStartPage DrvSplWritePrinter"
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expected" ]; then
  echo "$dll: exports are '$exports', expected '$expected'" >&2
  exit 1
fi

allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll winspool.drv msvcrt.dll"
for name in $(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}'); do
  case " $allowed " in
    *" $name "*) ;;
    *) echo "$dll: imports $name, which a printer server does not have" >&2; exit 1 ;;
  esac
done
echo "$dll: exports the seven hooks; imports only system DLLs"
