#!/usr/bin/env bash
# The differential: the code page conversions of a table of samples, then
# every example and every job of jobs/ played twice, by
# kqxl-run on the simulated machine and by kqxl-run.exe with the real
# KQXLUMPD.DLL under Wine, on each Windows architecture this machine can run;
# compare.py says what must be equal and the differences allowed.
#
# A watermark is drawn by each side's own GDI: kqxl-run.exe gives the
# internal watermark job a memory device context on which Wine's gdi32
# draws; compare.py compares the drawings as printed pages. A job named
# *-no-printer-dc.job keeps the form of a machine without the printer's
# driver: kqxl-run.exe leaves CreateDCW to Wine (it fails, error 126) and the
# simulated side plays it with CreateDCW failing the same way: the component
# must fail cleanly, with the same messages, and leave nothing behind.
#
#   differential.sh [JOB...]     the jobs given, or all of them
#   differential.sh --self-test  checks that a difference is caught and shown
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=${BUILD:-$root/build}
work=${WINE_WORK:-$root/build-wine}
# The simulated machine the simulated side starts from; the Wine side's driver
# folder always holds the driver's own files.
image=${KQXL_IMAGE:-$build/machine}
driver_files=$build/machine/WINDOWS/system32/spool/drivers/w32x86/2
export WINEDEBUG=-all

wine_of() { [ "$1" = x86_64 ] && echo /usr/lib/wine/wine64 || echo /usr/lib/wine/wine; }
# Each architecture's spooler keeps its drivers in its own folder; the
# printer of both sides has its driver there.
driver_subdir() { [ "$1" = x86_64 ] && echo x64/3 || echo w32x86/2; }
driver_dir() { echo "$2/drive_c/windows/system32/spool/drivers/$(driver_subdir "$1")"; }

# The simulated machine of an architecture: the default one, its driver
# moved to the architecture's folder and its printer pointed there.
arch_image() {
  local arch=$1 sub out=$work/$1/image
  sub=$(driver_subdir "$arch")
  if [ "$sub" = w32x86/2 ]; then echo "$image"; return; fi
  # (a command substitution does not stop at a failed command: each says so)
  rm -rf "$out" && mkdir -p "$work/$arch" && cp -r "$image" "$out" &&
    mkdir -p "$out/WINDOWS/system32/spool/drivers/${sub%/*}" &&
    mv "$out/WINDOWS/system32/spool/drivers/w32x86/2" "$out/WINDOWS/system32/spool/drivers/$sub" &&
    sed -i "s/\\\\w32x86\\\\2\\\\/\\\\${sub%/*}\\\\${sub#*/}\\\\/g" "$out/winsim/printers.ini" &&
    grep -q -F "\\${sub%/*}\\${sub#*/}\\" "$out/winsim/printers.ini" || return 1
  echo "$out"
}

# A job as the architecture's machine has it: driver folder paths in its
# script name that machine's folder. The copy stands among links to its
# folder's other files, which it names by relative paths.
arch_job() {
  local arch=$1 job=$2 sub dir copy
  sub=$(driver_subdir "$arch")
  if [ "$sub" = w32x86/2 ] || ! grep -q -F 'w32x86\2' "$job"; then echo "$job"; return; fi
  local from
  from=$(cd "$(dirname "$job")" && pwd)
  dir=$work/$arch/jobs/$(basename "$from")
  mkdir -p "$dir"
  for f in "$from"/*; do
    if [ "${f%.job}" = "$f" ]; then ln -sfn "$f" "$dir/"; fi
  done
  copy=$dir/$(basename "$job")
  # (a script's "\x" is an escape: its backslash is written twice)
  sed "s/\\\\w32x86\\\\2\\\\/\\\\\\\\${sub%/*}\\\\${sub#*/}\\\\/g" "$job" > "$copy"
  echo "$copy"
}

# A 32-bit Wine needs a kernel that runs 32-bit programs.
can_run() { "$(wine_of "$1")" --version >/dev/null 2>&1; }

make_prefix() {
  local arch=$1 prefix=$2 wine
  wine=$(wine_of "$arch")
  [ -f "$prefix/system.reg" ] && return 0
  mkdir -p "$prefix"
  WINEPREFIX=$prefix WINEARCH=$([ "$arch" = x86_64 ] && echo win64 || echo win32) "$wine" wineboot -i >/dev/null 2>&1
  # The spooler's temp folder is the Windows folder's, as for the print
  # spooler's own account; a user's would be under C:\users.
  for v in TEMP TMP; do
    WINEPREFIX=$prefix "$wine" reg add 'HKCU\Environment' /v $v /d 'C:\WINDOWS\TEMP' /f >/dev/null 2>&1
  done
}

# Wine draws the Windows faces with the fonts the simulated machine draws
# them with: its font substitutes are winsim's stand-ins.
set_fonts() {
  local arch=$1 prefix=$2 reg=$2/kqxl-fonts.reg
  "$build/tools/kqxl-wine-fonts" > "$reg"
  WINEPREFIX=$prefix "$(wine_of "$arch")" regedit /S "Z:$(echo "$reg" | tr / '\\')" >/dev/null 2>&1
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -w 2>/dev/null || true
}

# The default machine as it stands before every job: its driver folder with
# the Windows builds of the modules, the scanner component in system32, an
# empty temp folder, no forms, no per-user settings.
reset_prefix() {
  local arch=$1 prefix=$2 wine c d
  wine=$(wine_of "$arch")
  c=$prefix/drive_c
  d=$(driver_dir "$arch" "$prefix")
  rm -rf "$c/windows/system32/spool/drivers/w32x86/2" "$c/windows/system32/spool/drivers/x64/3" \
    "$c/windows/temp" "$c/forms"
  mkdir -p "$d" "$c/windows/temp"
  cp "$driver_files"/*.INI "$driver_files"/*.PXL "$d/"
  cp "$root/build-win-$arch/src/KQXLUMPD.DLL" "$root/build-win-$arch/modules/KQXLO.DLL" \
     "$root/build-win-$arch/modules/KQXLm.dll" "$d/"
  cp "$root/build-win-$arch/modules/zuvav.dll" "$c/windows/system32/zuvav.dll"
  WINEPREFIX=$prefix "$wine" reg delete 'HKCU\Software\KQPrint' /f >/dev/null 2>&1 || true
}

is_watermark_job() { grep -q -E '^settings.*wWatermark=1' "$1"; }
without_printer_dc() { case $1 in *-no-printer-dc.job) return 0 ;; *) return 1 ;; esac; }
# Wine takes the user's locale and ANSI code page from LANG: the locale
# directive's language, or English.
locale_of() {
  local id
  id=$(grep -o -i -E '^locale[[:space:]]+0x[0-9a-f]+' "$1" | head -n 1 | grep -o -i -E '[0-9a-f]{3,4}$' | tr a-f A-F)
  case ${id#0} in
    407) echo de_DE.UTF-8 ;;   415) echo pl_PL.UTF-8 ;;  419) echo ru_RU.UTF-8 ;;  408) echo el_GR.UTF-8 ;;
    41F) echo tr_TR.UTF-8 ;;   40D) echo he_IL.UTF-8 ;;  401) echo ar_SA.UTF-8 ;;  42A) echo vi_VN.UTF-8 ;;
    41E) echo th_TH.UTF-8 ;;   411) echo ja_JP.UTF-8 ;;  804) echo zh_CN.UTF-8 ;;  412) echo ko_KR.UTF-8 ;;
    404) echo zh_TW.UTF-8 ;;   *) echo C.UTF-8 ;;
  esac
}

# Plays one job both ways; prints a line, and the first difference if any.
play() {
  local arch=$1 prefix=$2 job name out rc_sim rc_wine status
  job=$(arch_job "$arch" "$3")
  name=$(basename "$job" .job)
  out=$work/$arch/out/$name
  rm -rf "$out"
  mkdir -p "$out"
  local sim_options=() wine_options=()
  if without_printer_dc "$job"; then
    sim_options=(--fail CreateDCW)
    wine_options=(--no-printer-dc)
  fi
  reset_prefix "$arch" "$prefix"
  set +e
  "$build/tools/kqxl-run" --image "$arch_image" --machine "$out/machine" "${sim_options[@]}" -o "$out/simulated" "$job" \
    2>"$out/simulated.err" >/dev/null
  rc_sim=$?
  LANG=$(locale_of "$job") WINEPREFIX=$prefix "$(wine_of "$arch")" "$root/build-win-$arch/tools/kqxl-run.exe" \
    "${wine_options[@]}" -o "$out/wine" "$job" 2>"$out/wine.err" >/dev/null
  rc_wine=$?
  set -e
  status=0
  {
    if [ $rc_sim -ne 0 ] || [ $rc_wine -ne 0 ]; then
      echo "  exit status: simulated $rc_sim, Wine $rc_wine"
      sed 's/^/    simulated: /' "$out/simulated.err" | head -n 3
      sed 's/^/    Wine: /' "$out/wine.err" | head -n 3
      status=1
    else
      KQXL_DRIVER_FOLDER=windows/system32/spool/drivers/$(driver_subdir "$arch") \
        python3 "$here/compare.py" "$out/simulated" "$out/wine" "$out/machine" "$prefix/drive_c" || status=1
    fi
  } > "$out/report" 2>&1
  if [ $status -eq 0 ]; then
    local form=""
    if without_printer_dc "$job"; then form=" (no printer device context: CreateDCW fails on both)"
    elif is_watermark_job "$job"; then form=" (watermark drawn by each GDI)"; fi
    echo "ok       $arch $name$form"
  else
    echo "DIFFERS  $arch $name"
    cat "$out/report"
  fi
  return $status
}

# The code page conversions of kqxl-codepages' table of samples: every line
# the same on both machines.
codepages() {
  local arch=$1 prefix=$2 out=$work/$1/codepages
  mkdir -p "$out"
  "$build/tools/kqxl-codepages" "$out/machine" > "$out/simulated.txt"
  WINEPREFIX=$prefix "$(wine_of "$arch")" "$root/build-win-$arch/tools/kqxl-codepages.exe" 2>/dev/null \
    | tr -d '\r' > "$out/wine.txt"
  if [ -s "$out/wine.txt" ] && diff -q "$out/simulated.txt" "$out/wine.txt" > /dev/null; then
    echo "ok       $arch code pages ($(wc -l < "$out/wine.txt") conversions)"
  else
    echo "DIFFERS  $arch code pages"
    diff "$out/simulated.txt" "$out/wine.txt" | head -n 12 | sed 's/^/    /'
    return 1
  fi
}

run_all() {
  local passed=0 failed=0 skipped=0 arch prefix job
  for arch in x86_64 i686; do
    if ! can_run "$arch"; then
      echo "skipped  $arch: $(wine_of "$arch") does not run here (no 32-bit Wine installed, or a kernel without 32-bit programs)"
      skipped=$((skipped + 1))
      continue
    fi
    if [ ! -f "$root/build-win-$arch/tools/kqxl-run.exe" ]; then
      echo "no $root/build-win-$arch/tools/kqxl-run.exe: run make cross first" >&2
      return 1
    fi
    prefix=$work/$arch/prefix
    arch_image=$(arch_image "$arch")
    make_prefix "$arch" "$prefix"
    set_fonts "$arch" "$prefix"
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -p 2>/dev/null || true
    if codepages "$arch" "$prefix"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    for job in "$@"; do
      if play "$arch" "$prefix" "$job"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    done
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  echo "$passed passed, $failed failed, $skipped skipped"
  [ $failed -eq 0 ]
}

# The differential must be able to fail: a simulated machine whose English
# texts differ from the driver's, and a directive only the simulated machine
# can honour.
self_test() {
  local mutated=$work/self-test/image out
  rm -rf "$work/self-test"
  mkdir -p "$work/self-test"
  cp -r "$image" "$mutated"
  sed -i 's/^MESSAGE=.*/MESSAGE=The port is busy (a simulated machine that differs)./' \
    "$mutated/WINDOWS/system32/spool/drivers/w32x86/2/KQXLEN.INI"
  out=$work/self-test/differs.txt
  if KQXL_IMAGE=$mutated WINE_WORK=$work/self-test "$0" "$root/examples/port-busy.job" > "$out" 2>&1; then
    echo "self-test: a simulated machine with other texts passed the differential"; cat "$out"; return 1
  fi
  for expect in 'DIFFERS  x86_64 port-busy' 'first difference at line 4' '"text":"The port is busy' \
                '"text":"The printer port is in use by the scanner'; do
    grep -q -F "$expect" "$out" || { echo "self-test: the report lacks: $expect"; cat "$out"; return 1; }
  done
  printf 'fail GlobalAlloc\nstartdoc\n' > "$work/self-test/fault.job"
  local prefix=$work/x86_64/prefix
  make_prefix x86_64 "$prefix"
  set +e
  WINEPREFIX=$prefix /usr/lib/wine/wine64 "$root/build-win-x86_64/tools/kqxl-run.exe" "$work/self-test/fault.job" \
    > /dev/null 2> "$work/self-test/fault.err"
  local rc=$?
  set -e
  if [ $rc -ne 2 ] || ! grep -q 'fault.job:1: fail GlobalAlloc: faults are injected only on the simulated machine' \
      "$work/self-test/fault.err"; then
    echo "self-test: kqxl-run.exe did not refuse a fault directive (exit $rc)"; cat "$work/self-test/fault.err"; return 1
  fi
  echo "self-test: a differing machine fails the differential with its first difference; faults are refused"
}

if [ "${1:-}" = --self-test ]; then
  self_test
elif [ $# -gt 0 ]; then
  run_all "$@"
else
  run_all "$root"/examples/*.job "$here"/jobs/*.job
fi
