#!/usr/bin/env bash
# Every C++ file of the tree is laid out as .clang-format says; names those
# that are not (clang-format -i FILE mends one).
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: no clang-format (make setup installs it)"; exit 1; }
git ls-files -z 'src/*' 'pclxl/*' 'winsim/*' 'tools/*' 'modules/*' 'tests/*' 'bench/*' 'fuzz/*' |
  grep -zE '\.(cpp|h)$' | xargs -0 clang-format --dry-run -Werror 2>&1 | grep -E '^[^ ].*: (error|warning):' | sort -u
status=${PIPESTATUS[2]}
[ "$status" -eq 0 ] && echo "check-format: every file is formatted"
exit "$status"
