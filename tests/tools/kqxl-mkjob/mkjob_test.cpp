// Jobs made from documents, as the rendering side would send them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>

#include "jobkit/mkjob.h"
#include "job/messages.h"
#include "support/pxl_builder.h"
#include "support/test_machine.h"

namespace {

using test::slurp;

namespace fs = std::filesystem;

const fs::path kDocs[] = {KQXL_SOURCE_DIR "/examples/numbered.pxl", KQXL_SOURCE_DIR "/examples/mixed.pxl",
                          KQXL_SOURCE_DIR "/examples/letter.pxl", KQXL_SOURCE_DIR "/tests/data/a4-landscape.pxl"};

std::string makeScript(const fs::path& doc, std::vector<std::string> settings = {}, size_t chunk = 4096) {
  jobkit::MakeJobOptions options;
  options.settings = std::move(settings);
  options.chunk = chunk;
  std::string script, error;
  EXPECT_TRUE(jobkit::makeJob(doc, options, &script, &error)) << error;
  return script;
}

// Plays a script and returns every buffer handed to DrvSplWritePrinter.
std::vector<std::string> buffersOf(test::TestMachine& m, const std::string& script) {
  std::vector<jobkit::Directive> directives;
  jobkit::ScriptError error;
  EXPECT_TRUE(jobkit::parseScript(script, &directives, &error)) << error.message;
  std::vector<std::string> buffers;
  jobkit::SimHost host(m.machine());
  jobkit::Player player(host, m.dir());
  player.onBuffer([&](const void* p, size_t n) { buffers.emplace_back(static_cast<const char*>(p), n); });
  EXPECT_TRUE(player.run(directives, &error)) << error.line << ": " << error.message;
  return buffers;
}

bool isPageStart(const std::string& b) { return b.size() == 5 && b.compare(0, 4, "\x1B\xF0\x10\xAA", 4) == 0; }
// The rendering side's messages, settings updates at a change of orientation included.
bool isMarker(const std::string& b) {
  auto p = reinterpret_cast<const BYTE*>(b.data());
  DWORD n = static_cast<DWORD>(b.size());
  return IsPageMarker(p, n) || IsWatermarkMarker(p, n) || IsOverlayMarker(p, n) || n == 1625;
}

TEST(MakeJob, DirectJobsGiveBackTheDocumentsBytes) {
  for (auto& doc : kDocs) {
    test::TestMachine m;
    m.play(makeScript(doc, {}, 1000));
    EXPECT_EQ(m.document(1), slurp(doc)) << doc;
  }
}

TEST(MakeJob, SpooledJobsCarryMarkersPrefixesAndPageRanges) {
  for (auto& doc : kDocs) {
    SCOPED_TRACE(doc.string());
    test::TestMachine m;
    auto buffers = buffersOf(m, makeScript(doc, {"wReverseOrder=1", "wWatermark=1"}));
    std::string bytes = slurp(doc);
    auto pages = test::checkBytes(bytes).pages();

    ASSERT_EQ(buffers[0].size(), 1625u);
    size_t i = 1;
    const std::string prefixes(reinterpret_cast<const char*>(jobkit::kPagePrefixes), 8);
    std::string header;
    while (i < buffers.size() && buffers[i] != prefixes) header += buffers[i++];
    ASSERT_LT(i++, buffers.size());
    // The document's header, then the fonts its pages define.
    EXPECT_EQ(header.substr(0, pages[0].start), bytes.substr(0, pages[0].start));

    std::string stream = header;  // the document as the spool file holds it, prefixes aside
    for (size_t k = 0; k < pages.size(); ++k) {
      if (buffers[i].size() == 1625) ++i;  // the settings again, for the page's orientation
      ASSERT_TRUE(isPageStart(buffers[i])) << "page " << k + 1;
      EXPECT_EQ(buffers[i][4], pages[k].orientation % 2 ? 2 : 1);
      ++i;
      // The page's own BeginPage, without the media source the prefixes set.
      auto begin = test::checkBytes(test::PxlBuilder().begin().bytes() + buffers[i] + "\x44\x49\x42");
      EXPECT_TRUE(begin.problems().empty());
      EXPECT_EQ(buffers[i].find("\xF8\x26"), std::string::npos);
      stream += buffers[i++];
      EXPECT_EQ(buffers[i++], "TimeToInsertWatermark");
      while (!isMarker(buffers[i])) stream += buffers[i++];
    }
    EXPECT_EQ(buffers[i++], "\x1B\xF0\x10\xFF");
    while (i < buffers.size()) stream += buffers[i++];
    pclxl::Checker c;
    std::vector<uint64_t> fontDefinitions;
    c.onCommand = [&](const pclxl::Command& command) {
      if (command.op == pclxl::op::BeginFontHeader || command.op == pclxl::op::BeginChar)
        fontDefinitions.push_back(command.start);
    };
    test::feedBytes(c, stream);
    EXPECT_TRUE(c.problems().empty()) << c.problems()[0].offset << ": " << c.problems()[0].message;
    ASSERT_EQ(c.pages().size(), pages.size());
    for (uint64_t at : fontDefinitions) EXPECT_LT(at, c.pages()[0].start) << "a font defined in a page";
  }
}

// What a replay writes, a prefix in front of any page, keeps every page
// valid, and the prefix sets that page's media source.
TEST(MakeJob, PrefixWrittenInFrontOfAnyPageTakesEffect) {
  test::TestMachine m;
  auto buffers = buffersOf(m, makeScript(kDocs[0], {"wReverseOrder=1"}));
  // Split the recording into header, prefixes and pages as the spool file holds them.
  std::string header, prefixes, trailer;
  std::vector<std::string> pages;
  bool afterEnd = false;
  for (size_t i = 1; i < buffers.size(); ++i) {
    const std::string& b = buffers[i];
    if (isPageStart(b)) pages.emplace_back();
    else if (b == "\x1B\xF0\x10\xFF") afterEnd = true;
    else if (afterEnd) trailer += b;
    else if (!pages.empty()) pages.back() += b;
    else if (b.size() == 8 && prefixes.empty() && header.size() > 0 && b[0] == '\xC0') prefixes = b;
    else header += b;
  }
  ASSERT_EQ(pages.size(), 6u);
  for (int entry = 0; entry < 2; ++entry) {
    std::string replay = header;
    for (size_t k = pages.size(); k-- > 0;) replay += (k == 3 ? prefixes.substr(4 * entry, 4) : "") + pages[k];
    replay += trailer;
    uint8_t source = 0xFF;
    pclxl::Checker checker;
    int page = 0;
    checker.onCommand = [&](const pclxl::Command& c) {
      if (c.op != pclxl::op::BeginPage) return;
      if (page++ == 2) {  // the fourth page, replayed third
        const pclxl::Attribute* a = c.find(pclxl::attr::MediaSource);
        source = a ? static_cast<uint8_t>(a->value.number()) : 0xEE;
      }
    };
    test::feedBytes(checker, replay);
    EXPECT_TRUE(checker.problems().empty());
    EXPECT_EQ(source, jobkit::kPagePrefixes[entry][1]);
  }
}

// The operators of a stream that define fonts, by where they stand: the
// offset of the first page, and each definition's offset and operator.
struct FontDefinitions {
  uint64_t firstPage = 0;
  std::vector<std::pair<uint64_t, uint8_t>> at;
  std::vector<std::string> problems;
};

FontDefinitions fontDefinitionsOf(const std::string& stream) {
  FontDefinitions d;
  pclxl::Checker c;
  c.onCommand = [&](const pclxl::Command& command) {
    if (command.op == pclxl::op::BeginFontHeader || command.op == pclxl::op::BeginChar)
      d.at.push_back({command.start, command.op});
  };
  test::feedBytes(c, stream);
  for (auto& p : c.problems()) d.problems.push_back(std::to_string(p.offset) + ": " + p.message);
  d.firstPage = c.pages().empty() ? 0 : c.pages()[0].start;
  return d;
}

// Fonts a document defines in its pages, again and again as a driver may,
// go out once each in the header of a job whose pages are reordered.
TEST(MakeJob, FontsOfThePagesGoIntoTheHeaderOnce) {
  auto setFont = [](pclxl::Writer& w) {
    w.ubyteArray("@", pclxl::attr::FontName)
        .real32(100, pclxl::attr::CharSize)
        .uint16(0, pclxl::attr::SymbolSet)
        .op(pclxl::op::SetFont);
    w.xy(pclxl::DataType::UInt16, 600, 600, pclxl::attr::Point).op(pclxl::op::SetCursor);
    w.ubyteArray("AB", pclxl::attr::TextData).op(pclxl::op::Text);
  };
  test::PxlBuilder b;
  b.begin();
  b.page([&](pclxl::Writer& w) {
    test::defineFont(w, "@");
    test::downloadChar(w, "@", 'A');
    setFont(w);
  });
  b.page([&](pclxl::Writer& w) {
    test::downloadChar(w, "@", 'A');  // the same again
    test::downloadChar(w, "@", 'B');
    setFont(w);
  });
  b.page([&](pclxl::Writer& w) {
    w.ubyteArray("@", pclxl::attr::FontName).op(pclxl::op::RemoveFont);
    test::defineFont(w, "@");
    test::downloadChar(w, "@", 'A');
    setFont(w);
  });
  b.end();
  ASSERT_TRUE(fontDefinitionsOf(b.bytes()).problems.empty());
  test::TestMachine m;
  fs::path doc = m.hostFile("fonts.pxl", b.bytes());
  m.play(makeScript(doc, {"wReverseOrder=1"}));
  auto d = fontDefinitionsOf(m.document(1));
  EXPECT_TRUE(d.problems.empty()) << d.problems[0];
  std::vector<uint8_t> ops;
  for (auto [at, op] : d.at) {
    EXPECT_LT(at, d.firstPage);
    ops.push_back(op);
  }
  EXPECT_EQ(ops, (std::vector<uint8_t>{pclxl::op::BeginFontHeader, pclxl::op::BeginChar, pclxl::op::BeginChar}));
}

// The glyph each Text of each page draws with, as a printer holds the
// downloads: per page, the character data of every code drawn, in order.
std::vector<std::vector<std::string>> glyphsDrawn(const std::string& stream) {
  std::vector<std::vector<std::string>> pages;
  std::map<std::pair<std::vector<double>, double>, std::string> glyphs;
  std::vector<double> charFont, font;
  double code = -1;
  pclxl::Checker c;
  c.onCommand = [&](const pclxl::Command& command) {
    namespace op = pclxl::op;
    const pclxl::Attribute* name = command.find(pclxl::attr::FontName);
    if (command.op == op::BeginPage) pages.emplace_back();
    if (command.op == op::BeginChar && name) charFont = name->value.items;
    if (command.op == op::ReadChar) code = command.find(pclxl::attr::CharCode)->value.number();
    if (command.op == op::SetFont && name) font = name->value.items;
    if (command.op == op::Text && !pages.empty())
      for (double drawn : command.find(pclxl::attr::TextData)->value.items)
        pages.back().push_back(glyphs[{font, drawn}]);
  };
  c.onData = [&](uint64_t offset, uint32_t length, int) {
    if (code >= 0)
      glyphs[{charFont, code}] = stream.substr(pclxl::dataStart(offset, static_cast<uint8_t>(stream[offset])), length);
    code = -1;
  };
  test::feedBytes(c, stream);
  return pages;
}

// Ghostscript reuses the codes of a full font: later pages define a code
// again with another glyph. Sent in any order, any number of times, or left
// out, every page draws with its own glyphs; printed directly the document
// goes as it is.
TEST(MakeJob, CharactersDefinedAgainDrawTheirOwnGlyphsInEveryOrder) {
  auto draw = [](pclxl::Writer& w, const char* text) {
    w.ubyteArray("@", pclxl::attr::FontName)
        .real32(100, pclxl::attr::CharSize)
        .uint16(0, pclxl::attr::SymbolSet)
        .op(pclxl::op::SetFont);
    w.xy(pclxl::DataType::UInt16, 600, 600, pclxl::attr::Point).op(pclxl::op::SetCursor);
    w.ubyteArray(text, pclxl::attr::TextData).op(pclxl::op::Text);
  };
  test::PxlBuilder b;
  b.begin();
  b.page([&](pclxl::Writer& w) {
    test::defineFont(w, "@");
    test::downloadChar(w, "@", 'A', '\x01');
    test::downloadChar(w, "@", 'B', '\x02');
    draw(w, "AB");
  });
  b.page([&](pclxl::Writer& w) {
    draw(w, "A");
    test::downloadChar(w, "@", 'A', '\x03');  // A again, another glyph
    draw(w, "AB");
  });
  b.page([&](pclxl::Writer& w) { draw(w, "BA"); });
  b.page([&](pclxl::Writer& w) {
    test::downloadChar(w, "@", 'B', '\x04');
    test::downloadChar(w, "@", 'C', '\x05');
    draw(w, "CBA");
  });
  b.end();
  const std::string document = b.bytes();
  auto own = glyphsDrawn(document);
  ASSERT_EQ(own.size(), 4u);
  ASSERT_EQ(own[2], (std::vector<std::string>{own[1][2], own[1][1]}));  // the glyphs of page 2's redefinition

  const std::pair<std::vector<std::string>, std::vector<int>> orders[] = {
      {{"wReverseOrder=1"}, {4, 3, 2, 1}},
      {{"wReverseOrder=2"}, {1, 3}},
      {{"wReverseOrder=3"}, {2, 4}},
      {{"wCollate=1", "dmCopies=2"}, {1, 2, 3, 4, 1, 2, 3, 4}},
      {{"wReverseOrder=1", "wCollate=1", "dmCopies=2"}, {4, 3, 2, 1, 4, 3, 2, 1}}};
  for (auto& [settings, pages] : orders) {
    SCOPED_TRACE(settings[0]);
    test::TestMachine m;
    fs::path doc = m.hostFile("reused.pxl", document);
    m.play(makeScript(doc, settings));
    std::string printed = m.document(1);
    EXPECT_TRUE(test::checkBytes(printed).problems().empty());
    auto drawn = glyphsDrawn(printed);
    ASSERT_EQ(drawn.size(), pages.size());
    for (size_t k = 0; k < pages.size(); ++k) EXPECT_EQ(drawn[k], own[pages[k] - 1]) << "sheet " << k + 1;
  }
  test::TestMachine m;
  m.play(makeScript(m.hostFile("reused.pxl", document)));
  EXPECT_EQ(m.document(1), document);
}

// A manual of several hundred pages, as Ghostscript makes it (its font
// fills and its codes come round again hundreds of times): reversed, and
// its odd pages alone, every page draws with its own glyphs.
TEST(MakeJob, AManualOfThreeHundredPagesInAnyOrder) {
  const fs::path pdf = "/usr/share/doc/gnuplot/gnuplot.pdf";
  if (!fs::exists(pdf) || std::system("command -v gs >/dev/null") != 0)
    GTEST_SKIP() << "no Ghostscript or no " << pdf << " (Debian's gnuplot-doc)";
  test::TestMachine m;
  fs::path doc = m.dir() / "gnuplot.pxl";
  std::string command = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r300 -sPAPERSIZE=letter -sOutputFile='" +
                        doc.string() + "' '" + pdf.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  auto own = glyphsDrawn(slurp(doc));
  ASSERT_GE(own.size(), 300u);
  const std::pair<const char*, std::function<std::vector<size_t>(size_t)>> orders[] = {
      {"wReverseOrder=1",
       [](size_t n) {
         std::vector<size_t> v;
         for (size_t k = n; k >= 1; --k) v.push_back(k);
         return v;
       }},
      {"wReverseOrder=2", [](size_t n) {
         std::vector<size_t> v;
         for (size_t k = 1; k <= n; k += 2) v.push_back(k);
         return v;
       }}};
  int document = 0;
  for (auto& [setting, pagesOf] : orders) {
    SCOPED_TRACE(setting);
    m.play(makeScript(doc, {setting}, 65536));
    auto drawn = glyphsDrawn(m.document(++document));
    auto pages = pagesOf(own.size());
    ASSERT_EQ(drawn.size(), pages.size());
    size_t wrong = 0;
    for (size_t k = 0; k < pages.size(); ++k) wrong += drawn[k] != own[pages[k] - 1];
    EXPECT_EQ(wrong, 0u);
  }
}

// A font header defined again with another header cannot be moved.
TEST(MakeJob, AFontHeaderDefinedAgainIsRefusedForReordering) {
  test::PxlBuilder other;
  other.begin();
  other.page([&](pclxl::Writer& w) { test::defineFont(w, "@"); });
  other.page([&](pclxl::Writer& w) {
    w.ubyteArray("@", pclxl::attr::FontName).op(pclxl::op::RemoveFont);
    w.ubyteArray("@", pclxl::attr::FontName).ubyte(0, pclxl::attr::FontFormat).op(pclxl::op::BeginFontHeader);
    w.uint16(2, pclxl::attr::FontHeaderLength).op(pclxl::op::ReadFontHeader).data(std::string("\x00\x01", 2));
    w.op(pclxl::op::EndFontHeader);
  });
  other.end();
  test::TestMachine m;
  jobkit::MakeJobOptions options;
  options.settings = {"wReverseOrder=1"};
  std::string script, error;
  EXPECT_FALSE(jobkit::makeJob(m.hostFile("clash.pxl", other.bytes()), options, &script, &error));
  EXPECT_NE(error.find("font \"@\" is defined again with another header"), std::string::npos) << error;
  options.settings = {};
  EXPECT_TRUE(jobkit::makeJob(m.hostFile("clash.pxl", other.bytes()), options, &script, &error)) << error;
}

// The rendering side sends the settings again only when a page's
// orientation differs from the one the component last received.
TEST(MakeJob, SettingsAgainOnlyAtAChangeOfOrientation) {
  for (const char* first : {"dmOrientation=1", "dmOrientation=2"}) {
    SCOPED_TRACE(first);
    test::TestMachine m;
    auto buffers = buffersOf(m, makeScript(kDocs[1], {first, "wWatermark=1"}));  // portrait, landscape, ...
    std::vector<int> orientations;
    for (auto& b : buffers)
      if (b.size() == 1625) orientations.push_back(static_cast<uint8_t>(b[76]) | static_cast<uint8_t>(b[77]) << 8);
    ASSERT_GE(orientations.size(), 2u);
    for (size_t i = 1; i < orientations.size(); ++i) EXPECT_NE(orientations[i], orientations[i - 1]) << i;
    EXPECT_EQ(orientations.back(), 2);  // the last page is landscape
    EXPECT_EQ(m.printed(1).find(std::string(buffers[0].data(), 64)), std::string::npos);
  }
}

// A booklet job: the record after the header, each page without its own
// framing, the output one page per sheet side.
TEST(MakeJob, BookletJobsCarryTheRecordAndBarePages) {
  for (auto& doc : kDocs) {
    for (const char* mode : {"wHardwareBooklet=2", "wManualDuplex=2"}) {
      SCOPED_TRACE(doc.string() + " " + mode);
      test::TestMachine m;
      m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", u"2");
      auto buffers = buffersOf(m, makeScript(doc, {"wBooklet=1", mode}));
      auto pages = test::checkBytes(slurp(doc)).pages();
      size_t record = 0, markers = 0;
      std::string pageBytes;
      for (size_t i = 0; i < buffers.size(); ++i) {
        const std::string& b = buffers[i];
        if (b.compare(0, 4, std::string("\x1B\xF0\x10\x00", 4)) == 0) record = i;
        if (isPageStart(b)) {
          EXPECT_EQ(b[4], pages[markers].orientation % 2 ? 2 : 1);
          ++markers;
        } else if (markers > 0 && b != "\x1B\xF0\x10\xFF") {
          pageBytes += b;
        }
      }
      ASSERT_GT(record, 0u);
      EXPECT_EQ(markers, pages.size());
      // The pages hold drawing only: no BeginPage or EndPage of their own.
      pclxl::Checker c;
      int framing = 0;
      c.onCommand = [&](const pclxl::Command& command) {
        framing += command.op == pclxl::op::BeginPage || command.op == pclxl::op::EndPage;
      };
      test::feedBytes(c, pageBytes);
      EXPECT_EQ(framing, 0);
      // Software booklets carry the prefixes in element 2.
      const std::string& r = buffers[record];
      size_t element2 = 4 + 2 + static_cast<uint8_t>(r[5]);
      bool software = std::string(mode) == "wManualDuplex=2";
      EXPECT_EQ(r.compare(element2 + 2, 8, std::string(reinterpret_cast<const char*>(jobkit::kPagePrefixes), 8)) == 0,
                software);
      // Each side a page of the output; the sheet turned against the document.
      std::string out = m.printed(1);
      auto sides = test::checkBytes(out);
      EXPECT_TRUE(sides.problems().empty()) << sides.problems()[0].message;
      EXPECT_EQ(sides.pages().size(), pages.size() == 1 ? 1 : 2 * ((pages.size() + 3) / 4));  // one page: side 1 only
      EXPECT_EQ(sides.pages()[0].orientation, pages[0].orientation % 2 ? 0 : 1);
    }
  }
}

TEST(MakeJob, BrokenDocumentsAndSettingsAreRefused) {
  test::PxlBuilder b;
  b.begin().page();
  test::TestMachine m;
  fs::path broken = m.hostFile("broken.pxl", b.bytes());
  jobkit::MakeJobOptions options;
  std::string script, error;
  EXPECT_FALSE(jobkit::makeJob(broken, options, &script, &error));
  EXPECT_NE(error.find("the stream ends inside a session"), std::string::npos) << error;
  options.settings = {"wNothing=1"};
  EXPECT_FALSE(jobkit::makeJob(kDocs[0], options, &script, &error));
  EXPECT_EQ(error, "unknown settings field \"wNothing\"");
  options.settings = {"wReverseOrdr=1"};
  EXPECT_FALSE(jobkit::makeJob(kDocs[0], options, &script, &error));
  EXPECT_EQ(error, "unknown settings field \"wReverseOrdr\"; did you mean \"wReverseOrder\"?");
  // A document that is no PCL XL says what it is and how to make one of it;
  // one that cannot be read says why.
  options.settings = {};
  EXPECT_FALSE(jobkit::makeJob(m.hostFile("own.pdf", "%PDF-1.7\n"), options, &script, &error));
  EXPECT_NE(error.find("own.pdf is a PDF document"), std::string::npos) << error;
  EXPECT_NE(error.find("gs -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono"), std::string::npos) << error;
  EXPECT_FALSE(jobkit::makeJob(m.dir() / "missing.pxl", options, &script, &error));
  EXPECT_NE(error.find("missing.pxl: No such file or directory"), std::string::npos) << error;
}

}  // namespace
