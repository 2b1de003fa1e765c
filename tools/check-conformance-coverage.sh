#!/usr/bin/env bash
# Every Win32 call the component and the overlay library (modules/overlay,
# modules/utility) make is in the
# conformance suite: each function a DLL imports that the project's own
# source names (the C and C++ runtimes' imports are theirs, not ours) must be
# called in tests/winsim/conformance/.
#   check-conformance-coverage.sh DLL...   (OBJDUMP names the objdump)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
objdump=${OBJDUMP:-objdump}
missing=()
checked=0
for dll in "$@"; do
  for name in $("$objdump" -p "$dll" | sed -n '/The Import Tables/,/The Export Tables/p' |
                awk '/DLL Name:/ {dll = tolower($3); next}
                     NF == 3 && $2 ~ /^[0-9]+$/ && dll != "msvcrt.dll" {print $3}' | sort -u); do
    grep -rqw --include="*.cpp" --include="*.h" "$name" "$root/src" "$root/modules/overlay" "$root/modules/utility" || continue
    checked=$((checked + 1))
    grep -rqw "$name" "$root/tests/winsim/conformance" || missing+=("$name")
  done
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "conformance: not in tests/winsim/conformance: ${missing[*]}" >&2
  exit 1
fi
echo "conformance: the suite calls all $checked of the DLLs' own Win32 imports"
