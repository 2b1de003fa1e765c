#!/usr/bin/env bash
# Regenerates the world-*.job scripts: a watermark in each of the 14
# languages of the driver's code pages, on a machine of that code page and
# locale, in the face a user of that language picks, over the two blank
# pages of tests/data/blank.pxl (portrait, then landscape, a watermark file
# each). One job a script, since a job's watermark files are the ones the
# differential finds; between them the jobs are solid and outlined, at
# several angles and sizes, on every page or the first only. The Wine
# differential plays them with the watermark drawn by each side's GDI.
# Arabic and Thai are in faces that have those scripts of their own (the
# printer suite has them in Arial and Tahoma, whose stand-ins here draw them
# from linked fonts): Wine shapes a complex script in the selected face
# alone, where Windows' Arial and Tahoma have the letters.
# Usage: tests/tools/kqxl-run-win/jobs/make-world-jobs.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")"
build=${1:-../../../../build}
doc=../../../data/blank.pxl
world() {  # NAME CODEPAGE LOCALE FACE TEXT [FIELD=VALUE ...]
  local name=$1 cp=$2 locale=$3 face=$4 text=$5
  shift 5
  {
    echo "# A watermark in $name as its user writes it ($*)."
    echo "codepage $cp"
    echo "locale $locale"
    "$build/tools/kqxl-mkjob" settings wWatermark=1 "szWatermarkText=$text" "szWatermarkFont=$face" "$@" "$doc" |
      grep -v '^#'
  } > "world-$(echo "$name" | tr 'A-Z ' 'a-z-').job"
}
solid="dwWatermarkColor=0x404040"
outline="wWatermarkOutline=1 dwWatermarkColor=0x0000C0"
world English 1252 0x0409 "Arial" "CONFIDENTIAL" wWatermarkSize=48 $solid
world German 1252 0x0407 "Times New Roman" "Entwurf für Prüfung" wWatermarkSize=60 wWatermarkAngle=30 $outline
world Polish 1250 0x0415 "Arial" "Ściśle tajne" wWatermarkSize=40 wWatermarkAngle=45 $solid dwWatermarkWeight=700
world Russian 1251 0x0419 "Times New Roman" "Совершенно секретно" wWatermarkSize=54 $outline wWatermarkFirstOnly=1
world Greek 1253 0x0408 "Arial" "Εμπιστευτικό" wWatermarkSize=72 wWatermarkAngle=90 $solid
world Turkish 1254 0x041F "Arial" "Çok gizli taslak" wWatermarkSize=36 wWatermarkAngle=-30 $outline
world Hebrew 1255 0x040D "David" "סודי ביותר" wWatermarkSize=60 $solid wWatermarkFirstOnly=1
world Arabic 1256 0x0401 "Simplified Arabic" "سري للغاية" wWatermarkSize=48 wWatermarkAngle=15 $outline dwWatermarkWeight=700
world Vietnamese 1258 0x042A "Times New Roman" "Ba"$'\xcc\x89'"n nháp" wWatermarkSize=44 wWatermarkAngle=45 $solid
world Thai 874 0x041E "Cordia New" "เอกสารลับมาก" wWatermarkSize=64 $outline
world Japanese 932 0x0411 "ＭＳ ゴシック" "社外秘資料" wWatermarkSize=56 wWatermarkAngle=30 $solid
world "Simplified Chinese" 936 0x0804 "SimSun" "机密文件请勿外传" wWatermarkSize=48 wWatermarkAngle=60 $outline wWatermarkFirstOnly=1
world Korean 949 0x0412 "굴림" "대외비 문서" wWatermarkSize=52 $solid bWatermarkItalic=1
world "Traditional Chinese" 950 0x0404 "MingLiU" "機密文件請勿外傳" wWatermarkSize=40 wWatermarkAngle=20 $outline
