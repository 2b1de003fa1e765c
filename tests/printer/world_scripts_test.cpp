// A watermark in every language the driver's code pages name, as a user of
// that language writes it: on a machine set to its code page and locale, in
// a face that user picks on Windows, printed on the interpreter and read
// back by an OCR engine nobody here wrote (tesseract, with the language's
// data). Skipped where there is no interpreter, or no tesseract with that
// language.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jobkit/text.h"
#include "printer/printer_support.h"

namespace {

using namespace printer;
namespace fs = std::filesystem;

struct Language {
  const char* name;
  int codePage, locale;
  const char* face;
  const char* typed;  // as the user's code page holds it (UTF-8 here)
  const char* reads;  // as a person reads it
  const char* ocr;    // tesseract's language
};

// clang-format off
const Language kLanguages[] = {
    {"English",             1252, 0x0409, "Arial",           "CONFIDENTIAL",          "CONFIDENTIAL",          "eng"},
    {"German",              1252, 0x0407, "Times New Roman", "Entwurf für Prüfung",   "Entwurf für Prüfung",   "deu"},
    {"Polish",              1250, 0x0415, "Arial",           "Ściśle tajne",          "Ściśle tajne",          "pol"},
    {"Russian",             1251, 0x0419, "Times New Roman", "Совершенно секретно",   "Совершенно секретно",   "rus"},
    {"Greek",               1253, 0x0408, "Arial",           "Εμπιστευτικό",          "Εμπιστευτικό",          "ell"},
    {"Turkish",             1254, 0x041F, "Arial",           "Çok gizli taslak",      "Çok gizli taslak",      "tur"},
    {"Hebrew",              1255, 0x040D, "David",           "סודי ביותר",            "סודי ביותר",            "heb"},
    {"Arabic",              1256, 0x0401, "Arial",           "سري للغاية",            "سري للغاية",            "ara"},
    // 1258 has no precomposed letters with a hook above: a base letter and
    // a combining mark, as Windows writes them in that code page.
    {"Vietnamese",          1258, 0x042A, "Times New Roman", "Ba\u0309n nháp",        "Bản nháp",              "vie"},
    {"Thai",                874,  0x041E, "Tahoma",          "เอกสารลับมาก",          "เอกสารลับมาก",             "tha"},
    {"Japanese",            932,  0x0411, "ＭＳ ゴシック",     "社外秘資料",            "社外秘資料",            "jpn"},
    {"Chinese (Simplified)", 936, 0x0804, "SimSun",          "机密文件请勿外传",      "机密文件请勿外传",           "chi_sim"},
    {"Korean",              949,  0x0412, "굴림",             "대외비 문서",           "대외비 문서",           "kor"},
    {"Chinese (Traditional)", 950, 0x0404, "MingLiU",        "機密文件請勿外傳",      "機密文件請勿外傳",           "chi_tra"},
};
// clang-format on

std::u16string withoutSpaces(const std::string& utf8) {
  std::u16string text = winsim::fromUtf8(utf8), r;
  for (char16_t c : text)
    if (c != u' ' && c != u'\n' && c != u'\r' && c != u'\t' && c != 0x200F && c != 0x200E && c != 0xFEFF) r += c;
  return r;
}

// Edits (insertions, deletions, substitutions) per character of `expected`.
double characterErrorRate(const std::u16string& expected, const std::u16string& read) {
  size_t edits = jobkit::editDistance(expected, read, [](char16_t a, char16_t b) { return a == b; });
  return expected.empty() ? 1.0 : static_cast<double>(edits) / static_cast<double>(expected.size());
}

bool tesseractReads(const char* language) {
  std::string langs = run("tesseract --list-langs 2>&1");
  return langs.find("\n" + std::string(language) + "\n") != std::string::npos;
}

// The part of a page with ink on it, and a margin, as a PGM file.
fs::path inkOnly(const Grey& page, const fs::path& file) {
  int x1 = page.width, y1 = page.height, x2 = -1, y2 = -1;
  for (int r = 0; r < page.height; ++r)
    for (int c = 0; c < page.width; ++c)
      if (page.dark(c, r)) {
        x1 = std::min(x1, c), y1 = std::min(y1, r), x2 = std::max(x2, c), y2 = std::max(y2, r);
      }
  const int margin = 20;
  x1 = std::max(0, x1 - margin), y1 = std::max(0, y1 - margin);
  x2 = std::min(page.width - 1, x2 + margin), y2 = std::min(page.height - 1, y2 + margin);
  std::ofstream out(file, std::ios::binary);
  int w = x2 >= x1 ? x2 - x1 + 1 : 1, h = y2 >= y1 ? y2 - y1 + 1 : 1;
  out << "P5\n" << w << " " << h << "\n255\n";
  for (int r = y1; r < y1 + h; ++r)
    for (int c = x1; c < x1 + w; ++c) out.put(static_cast<char>(page.level(c, r)));
  return file;
}

struct Printed {
  fs::path file;
  std::vector<std::string> textOut;  // what the component handed TextOutW, as UTF-8 JSON
};

// The watermark over a blank page, played on a machine of that language.
Printed printWatermark(test::TestMachine& m, const Language& l, bool outline) {
  std::vector<std::string> calls;
  winsim::Observer o;
  o.api = [&calls](const std::string& line) {
    if (line.find("\"function\":\"TextOutW\"") != std::string::npos) calls.push_back(line);
  };
  m->setObserver(o);
  m->setLogApi(true);
  jobkit::MakeJobOptions options;
  options.settings = {"wWatermark=1",
                      std::string("szWatermarkText=") + l.typed,
                      std::string("szWatermarkFont=") + l.face,
                      "wWatermarkSize=48",
                      "dwWatermarkColor=0",
                      outline ? "wWatermarkOutline=1" : "wWatermarkOutline=0"};
  std::string script, error;
  EXPECT_TRUE(jobkit::makeJob(KQXL_SOURCE_DIR "/tests/data/blank.pxl", options, &script, &error)) << error;
  char machine[64];
  std::snprintf(machine, sizeof machine, "codepage %d\nlocale 0x%04X\n", l.codePage, l.locale);
  m.play(machine + script);
  m->setLogApi(false);
  return {write(m.dir(), outline ? "outline.prn" : "solid.prn", m.printed(1)), calls};
}

void PrintTo(const Language& l, std::ostream* os) { *os << l.name; }

class WorldScripts : public ::testing::TestWithParam<Language> {};

// The solid watermark reads back as written (a character error rate of at
// most 0.2), the component handed TextOutW the whole text, and the outline
// one puts its ink where the solid one does.
TEST_P(WorldScripts, AWatermarkPrintsAsItsUserWroteIt) {
  REQUIRE_INTERPRETER();
  const Language& l = GetParam();
  if (run("command -v tesseract").empty()) GTEST_SKIP() << "no tesseract: the printed text is not read back";
  if (!tesseractReads(l.ocr)) GTEST_SKIP() << "tesseract has no data for " << l.ocr << " (tesseract-ocr-...)";
  TempDir dir;
  fs::path solidFile, outlineFile;
  {
    test::TestMachine m;
    Printed solid = printWatermark(m, l, false);
    ASSERT_EQ(solid.textOut.size(), 2u) << "one watermark per orientation";
    std::string typed = winsim::toUtf8(winsim::fromUtf8(l.typed));
    EXPECT_NE(solid.textOut[0].find("\"lpString\":\"" + typed + "\""), std::string::npos) << solid.textOut[0];
    solidFile = dir.path / "solid.prn";
    fs::copy_file(solid.file, solidFile);
  }
  EXPECT_TRUE(print({solidFile})[solidFile].ok());
  auto pages = greyPages(solidFile, dir.path, 100);
  ASSERT_EQ(pages.size(), 2u);
  fs::path image = inkOnly(pages[0], dir.path / "solid.pgm");
  std::string read = run("tesseract " + quote(image) + " stdout -l " + l.ocr + " --psm 7 2>/dev/null");
  double cer = characterErrorRate(withoutSpaces(l.reads), withoutSpaces(read));
  EXPECT_LE(cer, 0.2) << l.name << ": read back as \"" << read << "\"";
  std::printf("%s: \"%s\" read back as \"%s\" (character error rate %.2f)\n", l.name, l.reads,
              read.substr(0, read.find('\n')).c_str(), cer);
  {
    test::TestMachine m;
    outlineFile = dir.path / "outline.prn";
    fs::copy_file(printWatermark(m, l, true).file, outlineFile);
  }
  EXPECT_TRUE(print({outlineFile})[outlineFile].ok());
  auto solidInk = inkBoxes(solidFile), outlineInk = inkBoxes(outlineFile);
  ASSERT_EQ(solidInk.size(), 2u);
  ASSERT_EQ(outlineInk.size(), 2u);
  // Centred across the portrait page as in every script (the glyphs' side
  // bearings aside), whichever way the script runs.
  EXPECT_NEAR(solidInk[0].cx(), 612 / 2.0, 4.0);
  // The 2-pixel pen straddles the outline: a point of ink beyond it at most.
  for (int page = 0; page < 2; ++page) {
    EXPECT_NEAR(outlineInk[page].x1, solidInk[page].x1, 1.0) << "page " << page + 1;
    EXPECT_NEAR(outlineInk[page].x2, solidInk[page].x2, 1.0) << "page " << page + 1;
    EXPECT_NEAR(outlineInk[page].y1, solidInk[page].y1, 1.0) << "page " << page + 1;
    EXPECT_NEAR(outlineInk[page].y2, solidInk[page].y2, 1.0) << "page " << page + 1;
  }
}

std::string languageName(const ::testing::TestParamInfo<Language>& info) {
  std::string name;
  for (const char* c = info.param.name; *c; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  return name;
}

INSTANTIATE_TEST_SUITE_P(Languages, WorldScripts, ::testing::ValuesIn(kLanguages), languageName);

}  // namespace
