// Documents nobody here wrote: manuals from Debian's documentation packages
// (installed by the set-up), turned into PCL XL by Ghostscript at test time,
// mono and colour, 300 and 600 dpi, portrait and landscape, the whole
// 36-page libtasn1 manual and the 17-page shared-mime-info document, 112
// pages of the gnuplot manual; played in every order and printed on the interpreter,
// every page compared with the document's own. Skipped where Ghostscript,
// a manual or the interpreter is missing.
#include <gtest/gtest.h>

#include <algorithm>

#include "printer/printer_support.h"

namespace {

using namespace printer;

struct Manual {
  const char* name;
  const char* pdf;     // a PDF, or a folder whose one PDF it is
  const char* device;  // pxlmono or pxlcolor
  int dpi, firstPage, lastPage;
  bool landscape;   // laid on landscape paper
  bool everyOrder;  // or reverse and odd only: the long one
};

const Manual kManuals[] = {
    {"tasn", "/usr/share/doc/libtasn1-doc/libtasn1.pdf", "pxlmono", 300, 1, 36, false, true},
    {"tasn-600", "/usr/share/doc/libtasn1-doc/libtasn1.pdf", "pxlmono", 600, 1, 9, false, true},
    {"mime-colour", "/usr/share/doc/shared-mime-info", "pxlcolor", 300, 1, 17, false, true},
    {"tasn-landscape", "/usr/share/doc/libtasn1-doc/libtasn1.pdf", "pxlmono", 300, 10, 16, true, true},
    {"gnuplot-long", "/usr/share/doc/gnuplot/gnuplot.pdf", "pxlmono", 300, 1, 112, false, false},
};

#define REQUIRE_GHOSTSCRIPT() \
  if (run("command -v gs").empty()) GTEST_SKIP() << "no Ghostscript: the manuals are not made"

// The PDF a manual names: the file, or the one PDF of the folder.
fs::path pdfOf(const Manual& m) {
  std::error_code ec;
  if (!fs::is_directory(m.pdf, ec)) return fs::exists(m.pdf, ec) ? fs::path(m.pdf) : fs::path();
  for (auto& e : fs::directory_iterator(m.pdf, ec))
    if (e.path().extension() == ".pdf") return e.path();
  return {};
}

// The manual's pages in PCL XL, made in `dir`; empty when its PDF is missing.
fs::path pxlOf(const Manual& m, const fs::path& dir) {
  fs::path pdf = pdfOf(m);
  if (pdf.empty()) return {};
  fs::path out = dir / (std::string(m.name) + ".pxl");
  std::string paper = m.landscape ? " -dDEVICEWIDTHPOINTS=792 -dDEVICEHEIGHTPOINTS=612 -dFIXEDMEDIA -dPDFFitPage"
                                  : " -sPAPERSIZE=letter";
  run("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=" + std::string(m.device) + " -r" + std::to_string(m.dpi) + paper +
      " -dFirstPage=" + std::to_string(m.firstPage) + " -dLastPage=" + std::to_string(m.lastPage) +
      " -sOutputFile=" + quote(out) + " " + quote(pdf));
  return fs::exists(out) ? out : fs::path();
}

// Every order: each spooler document's pages are the document's own.
TEST(RealDocuments, EveryOrderPrintsTheDocumentsOwnPages) {
  REQUIRE_INTERPRETER();
  REQUIRE_GHOSTSCRIPT();
  TempDir dir;
  int played = 0;
  for (const Manual& manual : kManuals) {
    SCOPED_TRACE(manual.name);
    fs::path doc = pxlOf(manual, dir.path);
    if (doc.empty()) {
      std::printf("%s: no %s (its Debian package is not installed); not played\n", manual.name, manual.pdf);
      continue;
    }
    auto original = documentPages(doc, dir.path);
    int n = manual.lastPage - manual.firstPage + 1;
    ASSERT_EQ(static_cast<int>(original.size()), n);
    std::string instructions = instructionPage(dir.path, manual.landscape);
    auto pageOf = [&](const std::string& image) {
      if (image == instructions) return 0;
      auto it = std::find(original.begin(), original.end(), image);
      return it == original.end() ? -1 : static_cast<int>(it - original.begin()) + 1;
    };
    auto orders = test::pageOrders(n);
    if (!manual.everyOrder) orders.resize(2);  // reverse and odd
    for (auto& order : orders) {
      SCOPED_TRACE(order.label());
      test::TestMachine m;
      EXPECT_EQ(pageNumbers(playAndPrint(m, doc, order), pageOf), order.documents);
      ++played;
    }
  }
  if (played == 0) GTEST_SKIP() << "none of the manuals is installed";
}

// Booklets in both modes and a watermark on every page print, every sheet.
TEST(RealDocuments, BookletsAndWatermarksPrint) {
  REQUIRE_INTERPRETER();
  REQUIRE_GHOSTSCRIPT();
  TempDir dir;
  const std::vector<std::vector<std::string>> settings = {
      {"wBooklet=1", "wHardwareBooklet=2"},
      {"wBooklet=1", "wManualDuplex=2"},
      {"wWatermark=1", "szWatermarkText=DRAFT", "szWatermarkFont=DejaVu Sans", "wWatermarkSize=60",
       "wWatermarkAngle=45", "wReverseOrder=1"}};
  for (const Manual& manual : kManuals) {
    if (!manual.everyOrder) continue;
    SCOPED_TRACE(manual.name);
    fs::path doc = pxlOf(manual, dir.path);
    if (doc.empty()) continue;
    int n = manual.lastPage - manual.firstPage + 1;
    for (auto& s : settings) {
      SCOPED_TRACE(s[0] + " " + s[1]);
      test::TestMachine m;
      test::ReplayOrder order{s, s[1] == "wManualDuplex=2" ? u"0" : nullptr, {}};
      PlayedOrder played = playAndPrint(m, doc, order);
      int sheets = 0;
      for (auto& f : played.files) sheets += static_cast<int>(images(played.pngDir, f).size());
      bool booklet = s[0] == "wBooklet=1";
      EXPECT_EQ(sheets, booklet ? (n + 3) / 4 * 2 : n);
    }
  }
}

// A form recorded from a manual's page with text, under another manual's
// pages (both downloading fonts named "@"): directly, in reverse and as
// collated copies, every printed page carries the form's ink and its own.
TEST(RealDocuments, AFormWithTextUnderAnotherDocument) {
  REQUIRE_INTERPRETER();
  REQUIRE_GHOSTSCRIPT();
  TempDir dir;
  Manual formPage{"form", "/usr/share/doc/libtasn1-doc/libtasn1.pdf", "pxlmono", 300, 1, 1, false, true};
  Manual document{"document", "/usr/share/doc/shared-mime-info", "pxlcolor", 300, 2, 6, false, true};
  fs::path form = pxlOf(formPage, dir.path), doc = pxlOf(document, dir.path);
  if (form.empty() || doc.empty()) GTEST_SKIP() << "the manuals are not installed";
  constexpr int kDpi = 40;
  auto formInk = greyPages(form, dir.path, kDpi);
  auto own = greyPages(doc, dir.path, kDpi);
  ASSERT_EQ(formInk.size(), 1u);
  ASSERT_EQ(own.size(), 5u);
  const std::pair<std::vector<std::string>, std::vector<int>> orders[] = {
      {{}, {1, 2, 3, 4, 5}},
      {{"wReverseOrder=1"}, {5, 4, 3, 2, 1}},
      {{"wCollate=1", "dmCopies=2"}, {1, 2, 3, 4, 5, 1, 2, 3, 4, 5}}};
  for (auto& [settings, pages] : orders) {
    SCOPED_TRACE(settings.empty() ? "direct" : settings[0]);
    test::TestMachine m;
    m->writeFile(u"C:\\forms\\about.txt", "forms");
    jobkit::MakeJobOptions record, printing;
    record.settings = {"wOverlayMode=2", "szOverlayFile=C:\\forms\\manual.ovl"};
    printing.settings = {"wOverlayMode=1", "szOverlayFile=C:\\forms\\manual.ovl"};
    printing.settings.insert(printing.settings.end(), settings.begin(), settings.end());
    std::string recordScript, printScript, error;
    ASSERT_TRUE(jobkit::makeJob(form, record, &recordScript, &error)) << error;
    ASSERT_TRUE(jobkit::makeJob(doc, printing, &printScript, &error)) << error;
    m.play(recordScript + printScript);
    ASSERT_FALSE(m.portDocuments().empty());
    const std::string bytes = m.portDocuments().back();
    fs::path printed = write(m.dir(), "printed.prn", bytes);
    auto c = test::checkBytes(bytes);
    EXPECT_TRUE(c.problems().empty()) << c.problems()[0].message;
    ASSERT_TRUE(print({printed})[printed].ok());
    auto sheets = greyPages(printed, m.dir(), kDpi);
    ASSERT_EQ(sheets.size(), pages.size());
    for (size_t k = 0; k < pages.size(); ++k) {
      EXPECT_LT(inkMissing(sheets[k], formInk[0]), 0.01) << "page " << k + 1 << ": the form";
      EXPECT_LT(inkMissing(sheets[k], own[pages[k] - 1]), 0.01) << "page " << k + 1 << ": its own page";
    }
  }
}

}  // namespace
