#!/usr/bin/env bash
# Installs what the project needs on a Debian machine, when it is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev libharfbuzz-dev libfribidi-dev libraqm-dev
  # kqxl-report: the event log read as JSON, its page images as base64
  nlohmann-json3-dev libssl-dev
  # the fonts that stand for the Windows faces of every language the driver
  # prints in (docs/winsim.md says which stands for which)
  fonts-dejavu-core fonts-liberation2 fonts-noto-core fonts-noto-cjk
  # the watermarks of every language read back as a person reads them
  tesseract-ocr tesseract-ocr-eng tesseract-ocr-deu tesseract-ocr-pol tesseract-ocr-rus tesseract-ocr-ell
  tesseract-ocr-tur tesseract-ocr-heb tesseract-ocr-ara tesseract-ocr-vie tesseract-ocr-tha tesseract-ocr-jpn
  tesseract-ocr-chi-sim tesseract-ocr-chi-tra tesseract-ocr-kor
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  ghostscript clang clang-format libclang-rt-14-dev valgrind
  # make mutate: the mutation points from the syntax tree
  python3-clang-14
  # the report opened in a real browser (tests/tools/kqxl-report)
  chromium
  # manuals nobody here wrote, for the printer-side suite's real documents
  libtasn1-doc shared-mime-info gnuplot-doc
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
# A mirror caught mid-sync fails an update now and then: try again, and go
# on with the lists that did come (the install says if a package is missing).
for try in 1 2 3; do
  $SUDO apt-get update -qq && break
  echo "setup: apt-get update failed (try $try of 3)" >&2
  [ "$try" -lt 3 ] && sleep 15
done
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
