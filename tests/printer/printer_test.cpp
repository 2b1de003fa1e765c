// The printer's side of the wire: port output played through a real PCL XL
// interpreter (wherever jobkit/interpreter.h finds one), judged as a printer
// judges it: it prints, and every page is the page it should be. Skipped
// where there is none.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "printer/printer_support.h"
#include "support/pxl_builder.h"
#include "support/replay_orders.h"
#include "support/session_cases.h"
#include "support/test_machine.h"

namespace {

using namespace printer;
namespace fs = std::filesystem;
using test::slurp;

// The checker and the printer agree on what prints: all of its pages, or
// (for a case the checker refuses) an error or pages lost.
TEST(Printer, SessionCasesPrintAsTheCheckerSays) {
  REQUIRE_INTERPRETER();
  TempDir dir;
  std::vector<fs::path> files;
  auto cases = test::sessionCases();
  for (size_t i = 0; i < cases.size(); ++i)
    files.push_back(write(dir.path, "case" + std::to_string(i) + ".pxl", cases[i].bytes));
  auto verdicts = print(files);
  for (size_t i = 0; i < cases.size(); ++i) {
    auto& v = verdicts[files[i]];
    bool whole = v.ok() && printedPages(v) == test::checkBytes(cases[i].bytes).summary().pages;
    EXPECT_EQ(whole, cases[i].problem == nullptr) << cases[i].label << ": " << v.verdict;
  }
}

TEST(Printer, EveryExamplePrints) {
  REQUIRE_INTERPRETER();
  TempDir dir;
  std::vector<fs::path> outputs;
  for (auto& job : examples(".job")) {
    fs::path out = dir.path / job.stem();
    run(std::string(KQXL_RUN) + " -o " + quote(out) + " " + quote(job));
    size_t before = outputs.size();
    for (auto& f : fs::directory_iterator(out))
      if (f.path().extension() == ".prn") outputs.push_back(f.path());
    EXPECT_GT(outputs.size(), before) << job;
  }
  ASSERT_GE(outputs.size(), 15u);
  for (auto& [file, v] : print(outputs)) EXPECT_TRUE(v.ok()) << file << ": " << v.verdict;
}

// Every reordering replay of a document with downloaded fonts prints each
// page, and each printed page is the right page of the document.
TEST(Printer, ReorderedPagesAreTheDocumentsOwn) {
  REQUIRE_INTERPRETER();
  const fs::path doc = KQXL_SOURCE_DIR "/examples/numbered.pxl";
  TempDir scratch;
  auto original = documentPages(doc, scratch.path);
  ASSERT_EQ(original.size(), 6u);
  std::string instructions = instructionPage(scratch.path);
  ASSERT_FALSE(instructions.empty());
  auto pageOf = [&](const std::string& image) {
    if (image == instructions) return 0;
    for (size_t k = 0; k < original.size(); ++k)
      if (image == original[k]) return static_cast<int>(k) + 1;
    return -1;
  };
  for (auto& order : test::sixPageOrders()) {
    SCOPED_TRACE(order.label());
    test::TestMachine m;
    EXPECT_EQ(pageNumbers(playAndPrint(m, doc, order), pageOf), order.documents);
  }
}

// Jobs made from each test document for settings of every kind print.
TEST(Printer, JobsMadeFromDocumentsPrint) {
  REQUIRE_INTERPRETER();
  const fs::path docs[] = {KQXL_SOURCE_DIR "/examples/numbered.pxl", KQXL_SOURCE_DIR "/examples/mixed.pxl",
                           KQXL_SOURCE_DIR "/examples/letter.pxl", KQXL_SOURCE_DIR "/tests/data/a4-landscape.pxl"};
  const std::vector<std::string> watermark = {
      "wWatermark=1",      "szWatermarkText=DRAFT", "szWatermarkFont=DejaVu Sans",
      "wWatermarkSize=48", "wWatermarkAngle=45",    "wWatermarkOutline=1"};
  auto with = [&](std::vector<std::string> more) {
    more.insert(more.end(), watermark.begin(), watermark.end());
    return more;
  };
  const std::vector<std::vector<std::string>> settings = {
      {},
      {"wReverseOrder=1"},
      {"wReverseOrder=3"},
      {"wCollate=1", "dmCopies=3"},
      {"wMediaType=3", "wOhpMode=2"},
      {"wManualDuplex=1", "wInstructionPage=1"},
      with({}),
      with({"wReverseOrder=1"}),
      with({"dmOrientation=2", "wWatermarkFirstOnly=1"}),
  };
  TempDir dir;
  std::vector<fs::path> files;
  for (auto& doc : docs)
    for (size_t i = 0; i < settings.size(); ++i) {
      test::TestMachine m;
      jobkit::MakeJobOptions options;
      options.settings = settings[i];
      std::string script, error;
      ASSERT_TRUE(jobkit::makeJob(doc, options, &script, &error)) << error;
      m.play(script);
      auto port = m.portDocuments();
      for (size_t d = 0; d < port.size(); ++d)
        if (!port[d].empty())
          files.push_back(write(
              dir.path, doc.stem().string() + "-" + std::to_string(i) + "-" + std::to_string(d + 1) + ".prn", port[d]));
    }
  for (auto& [file, v] : print(files)) EXPECT_TRUE(v.ok()) << file.filename() << ": " << v.verdict;
}

// The instruction page sets its own units: at 300 and at 600 units per inch
// it prints the same, on the page.
TEST(Printer, InstructionPagesPrintInPlaceAtAnyResolution) {
  REQUIRE_INTERPRETER();
  TempDir dir;
  for (const char* name : {"INSTPORT.PXL", "INSTLAND.PXL"}) {
    SCOPED_TRACE(name);
    std::string page =
        test::TestMachine::slurpHost(fs::path(KQXL_MACHINE_IMAGE) / "WINDOWS/system32/spool/drivers/w32x86/2" / name);
    std::vector<Box> boxes;
    std::vector<std::string> renderings;
    for (int units : {300, 600}) {
      std::string session = pclxl::headerLine("instructions");
      pclxl::Writer(session)
          .xy(pclxl::DataType::UInt16, units, units, pclxl::attr::UnitsPerMeasure)
          .ubyte(0, pclxl::attr::Measure)
          .op(pclxl::op::BeginSession)
          .ubyte(0, pclxl::attr::SourceType)
          .ubyte(1, pclxl::attr::DataOrg)
          .op(pclxl::op::OpenDataSource);
      fs::path file = write(dir.path, std::to_string(units) + name, session + page + "\x49\x42");
      EXPECT_TRUE(print({file}, dir.path / "png")[file].ok());
      auto pages = images(dir.path / "png", file);
      ASSERT_EQ(pages.size(), 1u);
      renderings.push_back(pages[0]);
      auto ink = inkBoxes(file);
      ASSERT_EQ(ink.size(), 1u);
      boxes.push_back(ink[0]);
    }
    EXPECT_EQ(renderings[0], renderings[1]);
    // Well inside the Letter sheet, a good part of it written on.
    const Box& b = boxes[0];
    EXPECT_GT(b.x1, 36);
    EXPECT_GT(b.y1, 36);
    EXPECT_LT(b.x2, 612 - 36);
    EXPECT_LT(b.y2, 792 - 36);
    EXPECT_GT((b.x2 - b.x1) * (b.y2 - b.y1), 612 * 792 / 20);
  }
}

// The watermark's text runs through the centre of the page: along the line
// of the text its ink is centred within 1/100 inch, on portrait and on
// landscape pages.
TEST(Printer, WatermarkIsCentredOnThePage) {
  REQUIRE_INTERPRETER();
  const fs::path doc = KQXL_SOURCE_DIR "/tests/data/blank.pxl";
  for (int angle : {0, 90}) {
    SCOPED_TRACE("angle " + std::to_string(angle));
    test::TestMachine m;
    jobkit::MakeJobOptions options;
    options.settings = {"wWatermark=1", "szWatermarkText=HOH", "szWatermarkFont=DejaVu Sans", "wWatermarkSize=72",
                        "wWatermarkAngle=" + std::to_string(angle)};
    std::string script, error;
    ASSERT_TRUE(jobkit::makeJob(doc, options, &script, &error)) << error;
    m.play(script);
    fs::path file = write(m.dir(), "watermark.prn", m.printed(1));
    EXPECT_TRUE(print({file})[file].ok());
    auto ink = inkBoxes(file);
    ASSERT_EQ(ink.size(), 2u);
    const double centreX = 612 / 2.0, centreY = 792 / 2.0, tolerance = 72 / 100.0;
    // The sheet is portrait; a landscape page lies across it, its text too.
    bool alongX[2] = {angle == 0, angle != 0};
    for (int page = 0; page < 2; ++page) {
      bool x = alongX[page];
      EXPECT_NEAR(x ? ink[page].cx() : ink[page].cy(), x ? centreX : centreY, tolerance) << "page " << page + 1;
    }
  }
}

// Where a booklet of Letter pages puts a point of a page, on the Letter
// sheet turned landscape: each page scaled to fit its half and centred in
// it, a landscape page turned a quarter with its top to the left. The
// interpreter shows a landscape sheet turned on its portrait raster: the
// sheet's x runs up the raster, its y to the right.
struct RasterPoint {
  double col, row;
};
RasterPoint onSheet(int position, bool landscape, double x, double y, int dpi) {
  const double scale = 5.5 / 8.5, top = (8.5 - scale * 11) / 2;
  double left = position * 5.5;
  double sheetX = landscape ? left + scale * y : left + scale * x;
  double sheetY = landscape ? top + scale * (11 - x) : top + scale * y;
  return {sheetY * dpi, (11 - sheetX) * dpi};
}

// What examples/booklet.pxl draws from a page's top left: a large square,
// then the page number in binary as four squares.
std::string marksAt(const Grey& side, int position, bool landscape, int dpi) {
  auto dark = [&](double x, double y) {
    RasterPoint p = onSheet(position, landscape, x, y, dpi);
    return side.dark(p.col, p.row);
  };
  double w = landscape ? 11 : 8.5, h = landscape ? 8.5 : 11;
  if (!dark(1.375, 1.375)) return dark(w / 2, 1.375) || dark(1.375, h - 1.375) ? "turned" : "blank";
  if (dark(1.375, h - 1.375) || dark(w - 1.375, h - 1.375)) return "turned";
  int page = 0;
  for (int bit = 0; bit < 4; ++bit) page |= dark(2.9 + 1.2 * bit, 1.15) ? 1 << bit : 0;
  return "page " + std::to_string(page);
}

// Booklets of a document whose pages say which they are: every side holds
// the two pages it should, each upright or turned as its orientation asks.
TEST(Printer, BookletSidesHoldTheirPages) {
  REQUIRE_INTERPRETER();
  const fs::path doc = KQXL_SOURCE_DIR "/examples/booklet.pxl";
  const std::set<int> landscapePages = {3, 6};
  constexpr int kDpi = 30;
  // The sides each document carries, in the order they print.
  const test::ReplayOrder cases[] = {
      {{"wBooklet=1", "wHardwareBooklet=2"}, nullptr, {{1, 2, 3, 4}}},
      {{"wBooklet=1", "wManualDuplex=2"}, u"1", {{2, 4}, {1, 3}}},
      {{"wBooklet=1", "wManualDuplex=2", "wBackSideOrder=1"}, u"0", {{2, 4, 3, 1}}},
      {{"wBooklet=1", "wHardwareBooklet=2", "wBookletBinding=1"}, nullptr, {{1, 2, 3, 4}}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label());
    test::TestMachine m;
    auto printed = test::playOrder(m, doc, c);
    ASSERT_EQ(printed.size(), c.documents.size());
    bool mirrored = c.label().find("wBookletBinding=1") != std::string::npos;
    for (size_t d = 0; d < printed.size(); ++d) {
      fs::path file = write(m.dir(), "booklet-" + std::to_string(d + 1) + ".prn", printed[d]);
      EXPECT_TRUE(print({file})[file].ok());
      auto sides = greyPages(file, m.dir(), kDpi);
      ASSERT_EQ(sides.size(), c.documents[d].size());
      for (size_t i = 0; i < sides.size(); ++i) {
        int s = c.documents[d][i];
        // Eight pages on two sheets: the side's pages, first and second position.
        int facing = 9 - s;
        bool sideFirst = mirrored ? s % 2 == 1 : s % 2 == 0;
        int pages[2] = {sideFirst ? s : facing, sideFirst ? facing : s};
        for (int position = 0; position < 2; ++position) {
          bool landscape = landscapePages.count(pages[position]) > 0;
          EXPECT_EQ(marksAt(sides[i], position, landscape, kDpi), "page " + std::to_string(pages[position]))
              << "side " << s << ", position " << position + 1;
        }
      }
    }
  }
}

// A form recorded from one job and printed under the pages of the next
// (in reverse order, through the spool file): every page prints with the
// form's grey title band where the document itself draws nothing.
TEST(Printer, FormUnderEveryPage) {
  REQUIRE_INTERPRETER();
  TempDir dir;
  run(std::string(KQXL_RUN) + " -o " + quote(dir.path / "out") + " " +
      quote(KQXL_SOURCE_DIR "/examples/form-overlay.job"));
  fs::path printed = dir.path / "out" / "doc-2.prn";
  ASSERT_TRUE(fs::exists(printed));
  auto c = test::checkBytes(slurp(printed));
  EXPECT_TRUE(c.problems().empty()) << c.problems()[0].message;
  EXPECT_TRUE(print({printed})[printed].ok());
  constexpr int kDpi = 30;
  auto pages = greyPages(printed, dir.path, kDpi);
  ASSERT_EQ(pages.size(), 6u);
  for (size_t i = 0; i < pages.size(); ++i) {
    int band = pages[i].level(7.5 * kDpi, 1.0 * kDpi);  // the band's right end, 1 inch down
    EXPECT_GT(band, 150) << "page " << i + 1;
    EXPECT_LT(band, 240) << "page " << i + 1;
  }
  // Without the form the same place is white.
  auto plain = greyPages(KQXL_SOURCE_DIR "/examples/numbered.pxl", dir.path, kDpi);
  ASSERT_FALSE(plain.empty());
  EXPECT_EQ(plain[0].level(7.5 * kDpi, 1.0 * kDpi), 255);
}

// A letterhead with text, its fonts downloaded in its page, under every
// page of a three-page letter (itself in downloaded fonts), as written and
// as two collated copies: every printed page carries the form's ink and its
// own page's.
TEST(Printer, LetterheadWithTextUnderEveryPage) {
  REQUIRE_INTERPRETER();
  TempDir dir;
  run(std::string(KQXL_RUN) + " -o " + quote(dir.path / "out") + " " +
      quote(KQXL_SOURCE_DIR "/examples/letterhead.job"));
  constexpr int kDpi = 50;
  auto form = greyPages(KQXL_SOURCE_DIR "/examples/letterhead.pxl", dir.path, kDpi);
  auto own = greyPages(KQXL_SOURCE_DIR "/examples/letter-long.pxl", dir.path, kDpi);
  ASSERT_EQ(form.size(), 1u);
  ASSERT_EQ(own.size(), 3u);
  const std::pair<const char*, std::vector<int>> documents[] = {{"doc-2.prn", {1, 2, 3}},
                                                                {"doc-3.prn", {1, 2, 3, 1, 2, 3}}};
  for (auto& [name, pages] : documents) {
    fs::path printed = dir.path / "out" / name;
    auto c = test::checkBytes(slurp(printed));
    EXPECT_TRUE(c.problems().empty()) << name << ": " << c.problems()[0].message;
    EXPECT_TRUE(print({printed})[printed].ok()) << name;
    auto sheets = greyPages(printed, dir.path, kDpi);
    ASSERT_EQ(sheets.size(), pages.size()) << name;
    for (size_t k = 0; k < pages.size(); ++k) {
      EXPECT_LT(inkMissing(sheets[k], form[0]), 0.01) << name << " page " << k + 1 << ": the form";
      EXPECT_LT(inkMissing(sheets[k], own[pages[k] - 1]), 0.01) << name << " page " << k + 1 << ": its own page";
    }
  }
}

// Booklets of every Ghostscript-made document, in both modes and in
// neither (every page alone on a side), print.
TEST(Printer, BookletsOfEveryDocumentPrint) {
  REQUIRE_INTERPRETER();
  TempDir dir;
  std::vector<fs::path> files;
  std::map<fs::path, size_t> pagesAlone;  // the neither-mode documents, and their page counts
  for (auto& document : examples(".pxl")) {
    for (const char* mode : {"wHardwareBooklet=2", "wManualDuplex=2", "wHardwareBooklet=0"}) {
      test::TestMachine m;
      jobkit::MakeJobOptions options;
      options.settings = {"wBooklet=1", mode};
      std::string script, error;
      ASSERT_TRUE(jobkit::makeJob(document, options, &script, &error)) << document << ": " << error;
      m.play(script);
      auto port = m.portDocuments();
      for (size_t n = 0; n < port.size(); ++n)
        if (!port[n].empty())
          files.push_back(
              write(dir.path, document.stem().string() + "-" + mode + "-" + std::to_string(n + 1) + ".prn", port[n]));
      if (std::string(mode) == "wHardwareBooklet=0")
        pagesAlone[files.back()] = test::checkBytes(slurp(document)).pages().size();
    }
  }
  for (auto& f : files) {
    auto c = test::checkBytes(slurp(f));
    EXPECT_TRUE(c.problems().empty()) << f.filename() << ": " << c.problems()[0].message;
  }
  for (auto& [file, v] : print(files)) EXPECT_TRUE(v.ok()) << file.filename() << ": " << v.verdict;
  for (auto& [file, pages] : pagesAlone) EXPECT_EQ(inkBoxes(file).size(), pages) << file.filename();
}

}  // namespace
