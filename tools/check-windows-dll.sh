#!/usr/bin/env bash
# Checks a cross-built component DLL: it exports exactly the seven spooler
# hooks under their undecorated names and imports nothing but system DLLs
# and msvcrt (the C++ runtime is linked in).
set -euo pipefail
dll=$1
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
