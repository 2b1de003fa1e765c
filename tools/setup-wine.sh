#!/usr/bin/env bash
# Installs what the Windows differential needs on a Debian machine, when it
# is missing: Wine for both Windows architectures (wine32 needs the i386
# architecture), Python for the comparison, and the locales of the
# examples' users.
set -euo pipefail

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
packages=(wine wine64 wine32:i386 locales python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-wine: installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  # A mirror caught mid-sync fails an update now and then: try again, and go
  # on with the lists that did come (the install says if a package is missing).
  for try in 1 2 3; do
    $SUDO apt-get update -qq && break
    echo "setup-wine: apt-get update failed (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep 15
  done
  install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
  # A mirror whose i386 lists are out of step with the amd64 ones cannot give
  # wine32: the 64-bit half is installed alone, and the differential reports
  # the 32-bit half skipped.
  if ! install "${missing[@]}"; then
    echo "setup-wine: the 32-bit Wine cannot be installed now; installing the 64-bit half alone" >&2
    install $(printf '%s\n' "${missing[@]}" | grep -v ':i386$')
  fi
fi

# The locales of the jobs' users (differential.sh's locale_of): Wine takes
# the ANSI code page from LANG.
missing_locales=()
for l in de_DE pl_PL ru_RU el_GR tr_TR he_IL ar_SA vi_VN th_TH ja_JP zh_CN ko_KR zh_TW; do
  locale -a 2>/dev/null | grep -qi "^$l\.utf-\?8$" || missing_locales+=("$l")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
  for l in "${missing_locales[@]}"; do
    $SUDO sed -i "s/^# *$l.UTF-8 UTF-8/$l.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen >/dev/null
fi
