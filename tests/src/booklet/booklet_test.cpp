// Booklets: the record, the pages of each side, the side's snippets, and
// the two drivers on the worked cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "booklet/sheet.h"
#include "support/booklet_job.h"
#include "support/test_machine.h"

namespace {

using test::BookletJob;
using test::side;

const char kHardware[] = "wBooklet=1 wHardwareBooklet=2";
const char kSoftware[] = "wBooklet=1 wManualDuplex=2";

std::vector<int> portrait(int pages) { return std::vector<int>(static_cast<size_t>(pages), 1); }

BookletJob job(const std::string& settings, std::vector<int> orientations, int selector = 0) {
  bool software =
      settings.find("wManualDuplex=2") != std::string::npos && settings.find("wHardwareBooklet=2") == std::string::npos;
  bool overlay = settings.find("wOverlayMode=1") != std::string::npos;
  return {
      settings, std::move(orientations), {test::bookletRecord(test::labelledElements(software, selector, overlay))}};
}

size_t count(const std::vector<std::u16string>& traces, const std::u16string& line) {
  return static_cast<size_t>(std::count(traces.begin(), traces.end(), line));
}

struct Booklet : ::testing::Test {
  test::TestMachine m;
  std::string play(const BookletJob& j) {
    m.play(j.script());
    return m.document(m.documentCount());
  }
  void mode(const char16_t* value) {
    m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", value);
  }
  void bookletOrder(const char16_t* value) {
    m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"Function", u"BookletOrder", value);
  }
  void feature(WORD at76, WORD at78) {
    std::vector<uint8_t> f(84, 0);
    f[76] = static_cast<uint8_t>(at76), f[77] = static_cast<uint8_t>(at76 >> 8);
    f[78] = static_cast<uint8_t>(at78), f[79] = static_cast<uint8_t>(at78 >> 8);
    m->setPrinterData(test::kPrinter, u"MDL_FEATURE", f);
  }
};

TEST(BookletSides, PagesOfEachSide) {
  struct Row {
    INT side, binding0first, binding0second;
  };
  for (auto r : {Row{1, 8, 1}, Row{2, 2, 7}, Row{3, 6, 3}, Row{4, 4, 5}}) {
    SidePages b0 = PagesOfSide(r.side, 8, 0), b1 = PagesOfSide(r.side, 8, 1);
    EXPECT_EQ(b0.first, r.binding0first) << r.side;
    EXPECT_EQ(b0.second, r.binding0second) << r.side;
    EXPECT_EQ(b1.first, r.binding0second) << r.side;  // the mirror
    EXPECT_EQ(b1.second, r.binding0first) << r.side;
  }
  EXPECT_EQ(PagesOfSide(2, 4, 0).first, 2);
  EXPECT_EQ(PagesOfSide(2, 4, 0).second, 3);
}

TEST_F(Booklet, RecordIsTracedAndStored) {
  m.play(job(kHardware, portrait(1)).script());
  auto traces = m.traces();
  const char16_t* expected[] = {
      u".... Booklet Enabled ...\r\n",
      u"BeginPage : index = 1, size = 3 \r\n",
      u"EndPage : index = 3, size = 3 \r\n",
      u"SetPageOrigin[0] : index = 4, size = 4 \r\n",
      u"SetPageOrigin[3] : index = 7, size = 4 \r\n",
      u"SetPageRotation : index = 8, size = 4 \r\n",
      u"SetPageRotation : index = 9, size = 4 \r\n",
      u"SetPageScale : index = 10, size = 3 \r\n",
      u"SetClipMode : index = 11, size = 3 \r\n",
      u"BorderData : index = 12, size = 3 \r\n",
      u"BorderData : index = 13, size = 0 \r\n",
  };
  for (auto line : expected) EXPECT_EQ(count(traces, line), 1u) << winsim::toUtf8(line);
  EXPECT_EQ(count(traces, u"ExecStream : index = 14, size = 4 \r\n"), 0u);
  // Hardware: one side, page 1 in the second position; side 2 (pages 2, 3) blank.
  EXPECT_EQ(m.document(1), "HEAD" + side(0, 1) + "TAIL");
}

// The software booklet takes its prefixes from element 2; an element 2 of
// only the prefixes leaves an empty BeginPage. Index bytes change nothing
// but the trace, and the overlay elements count only with wOverlayMode 1.
TEST_F(Booklet, SoftwareRecordPrefixesAndOverlayElements) {
  mode(u"2");
  EXPECT_EQ(play(job(kSoftware, portrait(1))), "HEADAAAA" + side(0, 1) + "TAIL");
  auto elements = test::labelledElements(true, 0, true);
  elements[1].data = "CCCCDDDD";  // prefixes, no BeginPage
  elements[0].index = 200;
  BookletJob j{kSoftware, portrait(2), {test::bookletRecord(elements)}};
  EXPECT_EQ(play(j), "HEADCCCC" + side(2, 0, "") + "DDDD" + side(0, 1, "") + "TAIL");
  EXPECT_EQ(count(m.traces(), u"BeginPage : index = 200, size = 3 \r\n"), 1u);
  EXPECT_EQ(count(m.traces(), u"ExecStream : index = 14, size = 4 \r\n"), 0u);
  // With the overlay on both are read, and written on every side with a page.
  j.settings = std::string(kSoftware) + " wOverlayMode=1";
  std::string out = play(j);
  EXPECT_EQ(count(m.traces(), u"ExecStream : index = 15, size = 4 \r\n"), 1u);
  EXPECT_EQ(out, "HEADCCCC{X1}{S}{C}{X0}\x74{O0}{S}{C}p2;\x74{E}DDDD{X1}{S}{C}{X0}\x74{O1}{S}{C}p1;{E}TAIL");
}

// The overlay goes on every side with a page, and on no empty side.
TEST_F(Booklet, OverlayOnlyOnSidesWithPages) {
  bookletOrder(u"1");
  EXPECT_EQ(play(job(std::string(kHardware) + " wOverlayMode=1", portrait(1))),
            "HEAD{B}{E}{B}{X1}{S}{C}{X0}\x74{O1}{S}{C}p1;{E}TAIL");
}

// A second record in one job overwrites what the first stored.
TEST_F(Booklet, SecondRecordOverwrites) {
  auto second = test::labelledElements(false);
  second[1].data = "{B2}";
  BookletJob j = job(kHardware, portrait(1));
  j.records.push_back(test::bookletRecord(second));
  EXPECT_EQ(play(j), "HEAD" + side(0, 1, "{B2}") + "TAIL");
}

// Records that do not fit their slots or their buffer are refused whole:
// the job prints its pages in order, and says why.
TEST(BookletRecord, RecordsThatDoNotFitAreRefused) {
  struct Case {
    const char* label;
    std::string record;
    const char* settings;
    const char16_t* why;
  };
  auto with = [](std::function<void(std::vector<test::BookletElement>&)> change, bool software = false,
                 bool overlay = false) {
    auto e = test::labelledElements(software, 0, overlay);
    change(e);
    return test::bookletRecord(e);
  };
  std::string full = test::bookletRecord(test::labelledElements(false));
  const Case cases[] = {
      {"a snippet of 32 bytes", with([](auto& e) { e[3].data = std::string(32, 'x'); }), kHardware,
       u"an element is longer than 31 bytes"},
      {"element 2 shorter than the prefixes", with([](auto& e) { e[1].data = "AAAABBB"; }, true), kSoftware,
       u"element 2 holds fewer than the 8 prefix bytes"},
      {"elements past byte 255", with([](auto& e) {
         e[10].data = std::string(31, 'c'), e[11].data = std::string(31, 'd'), e[9].data = std::string(31, 's'),
         e[8].data = std::string(31, 'r'), e[7].data = std::string(31, 'q'), e[6].data = std::string(31, 'p'),
         e[5].data = std::string(31, 'o');
       }),
       kHardware, u"an element starts past byte 255"},
      {"a buffer cut inside an element", full.substr(0, full.size() - 5), kHardware,
       u"the buffer ends inside an element"},
      {"a buffer cut before element 13", full.substr(0, full.size() - 2), kHardware,
       u"the buffer ends inside an element"},
      {"no overlay elements with the overlay on", full, "wBooklet=1 wHardwareBooklet=2 wOverlayMode=1",
       u"the overlay elements are missing"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    test::TestMachine fresh;
    BookletJob j{c.settings, portrait(2), {c.record}};
    fresh.play(j.script());
    EXPECT_EQ(fresh.document(1), "HEADp1;p2;TAIL");
    auto traces = fresh.traces();
    std::u16string refused =
        u"Booklet record refused: " + std::u16string(c.why) + u"; the job prints as if none had come.\r\n";
    EXPECT_EQ(count(traces, refused), 1u);
    EXPECT_EQ(count(traces, u"A booklet job without a usable booklet record prints its pages once in order.\n"), 1u);
  }
}

// A booklet job with no record at all loses nothing: its pages in order. In
// neither booklet mode each page is alone on a side, in order: the pages of
// a booklet job have no page framing of their own.
TEST_F(Booklet, JobsThatCannotBeImposedPrintEveryPageInOrder) {
  EXPECT_EQ(play({kHardware, portrait(3), {}}), "HEADp1;p2;p3;TAIL");
  EXPECT_EQ(play(job("wBooklet=1", portrait(3))), "HEAD" + side(1, 0) + side(2, 0) + side(3, 0) + "TAIL");
  EXPECT_EQ(count(m.traces(),
                  u"A booklet job in neither booklet mode prints each page once, in order, alone on a "
                  u"booklet side.\n"),
            1u);
  // A record without wBooklet still makes the job a booklet (it is spooled for
  // another reason here).
  EXPECT_EQ(play(job("wHardwareBooklet=2 wReverseOrder=1", portrait(1))), "HEAD" + side(0, 1) + "TAIL");
}

TEST_F(Booklet, SoftwareDriverSequences) {
  // Binding 0, 8 pages: side 1 (8, 1), side 2 (2, 7), side 3 (6, 3), side 4 (4, 5).
  const std::string s1 = side(8, 1), s2 = side(2, 7), s3 = side(6, 3), s4 = side(4, 5);
  mode(u"1");
  play(job(kSoftware, portrait(8)));
  EXPECT_EQ(m.document(1), "HEADAAAA" + s2 + s4 + "TAIL");
  EXPECT_EQ(m.document(2), "HEADBBBB" + s1 + s3 + "TAIL");
  ASSERT_EQ(m->messageBoxes().size(), 1u);
  EXPECT_EQ(m->messageBoxes()[0].caption, u"Manual Duplex");

  feature(0, 0x0100);  // a descending first pass
  play(job(std::string(kSoftware) + " wBackSideOrder=1", portrait(8)));
  EXPECT_EQ(m.document(3), "HEADAAAA" + s4 + s2 + "TAIL");
  EXPECT_EQ(m.document(4), "HEADBBBB" + s3 + s1 + "TAIL");

  // No fronts: no prompt for them. No second document: a message, and no more.
  feature(0, 0);
  size_t boxes = m->messageBoxes().size();
  play(job(std::string(kSoftware) + " wBackSideOrder=2", portrait(8)));
  EXPECT_EQ(m->messageBoxes().size(), boxes);
  m.play("fail StartDocPrinterW\n" + job(kSoftware, portrait(8)).script());
  ASSERT_GE(m->messageBoxes().size(), boxes + 2);
  EXPECT_EQ(m->messageBoxes().back().text,
            u"Failed to start the second pass of the job; its other sides are not printed.");
  EXPECT_EQ(m.document(m.documentCount()), "HEADAAAA" + s2 + s4 + "TAIL");
}

TEST_F(Booklet, SoftwareDriverInOneDocument) {
  mode(u"0");
  play(job(kSoftware, portrait(8)));
  EXPECT_EQ(m.document(1), "HEADAAAA" + side(2, 7) + side(4, 5) + "BBBB" + side(8, 1) + side(6, 3) + "TAIL");
  EXPECT_EQ(m.document(2), "");  // the new document after the utility dialog
  // Other values of wBackSideOrder leave the fronts and their prefix out.
  mode(u"2");
  EXPECT_EQ(play(job(std::string(kSoftware) + " wBackSideOrder=2", portrait(8))),
            "HEADAAAA" + side(2, 7) + side(4, 5) + "TAIL");
  // One page, or none: prefix 0 and side 1 only, no prompt.
  EXPECT_EQ(play(job(kSoftware, portrait(1))), "HEADAAAA" + side(0, 1) + "TAIL");
  // The instruction page follows the first header.
  m->writeFile(std::u16string(test::kDriverDir) + u"INSTPORT.PXL", "[instructions]");
  EXPECT_EQ(play(job(std::string(kSoftware) + " wInstructionPage=1", portrait(1))),
            "HEAD[instructions]AAAA" + side(0, 1) + "TAIL");
}

TEST_F(Booklet, HardwareDriverSequences) {
  const std::string s1 = side(8, 1), s2 = side(2, 7), s3 = side(6, 3), s4 = side(4, 5);
  std::vector<std::string> log;
  winsim::Observer o;
  o.api = [&](const std::string& line) {
    if (line.find("\"WritePrinter\"") != std::string::npos && line.find("\"cbBuf\":0") != std::string::npos)
      log.push_back(line);
  };
  m->setObserver(o);
  m->setLogApi(true);
  EXPECT_EQ(play(job(kHardware, portrait(8))), "HEAD" + s1 + s2 + s3 + s4 + "TAIL");
  EXPECT_EQ(log.size(), 1u);  // the zero-length write after the last side
  bookletOrder(u"1");
  EXPECT_EQ(play(job(std::string(kHardware) + " wCollate=1 dmCopies=2", portrait(8))),
            "HEAD" + s4 + s3 + s2 + s1 + s4 + s3 + s2 + s1 + "TAIL");
  // One page: with order 1 the empty side 2 first; with order 0 side 1 alone.
  EXPECT_EQ(play(job(kHardware, portrait(1))), "HEAD" + side(0, 0) + side(0, 1) + "TAIL");
  bookletOrder(u"0");
  log.clear();
  EXPECT_EQ(play(job(kHardware, portrait(1))), "HEAD" + side(0, 1) + "TAIL");
  EXPECT_TRUE(log.empty());
  m->setLogApi(false);
}

TEST_F(Booklet, SheetCountsAndCopies) {
  // 5 pages: two sheets, pages 6 to 8 blank.
  EXPECT_EQ(play(job(kHardware, portrait(5))), "HEAD" + side(0, 1) + side(2, 0) + side(0, 3) + side(4, 5) + "TAIL");
  // 9 pages: three sheets (N = 12).
  std::string nine = play(job(kHardware, portrait(9)));
  EXPECT_EQ(nine, "HEAD" + side(0, 1) + side(2, 0) + side(0, 3) + side(4, 9) + side(8, 5) + side(6, 7) + "TAIL");
  // No page-start marker at all: the job goes out as it came.
  EXPECT_EQ(play(job(kHardware, {})), "HEADTAIL");
  // Copies of 0 or less: one copy, traced.
  EXPECT_EQ(play(job(std::string(kHardware) + " wCollate=1 dmCopies=0", portrait(1))), "HEAD" + side(0, 1) + "TAIL");
  EXPECT_EQ(play(job(std::string(kHardware) + " wCollate=1 dmCopies=-3", portrait(1))), "HEAD" + side(0, 1) + "TAIL");
  EXPECT_EQ(count(m.traces(), u"A copy count below 1 makes one copy.\n"), 2u);
  // wPrinterCopies 1: the printer makes the copies.
  EXPECT_EQ(play(job(std::string(kHardware) + " wCollate=1 wPrinterCopies=1 dmCopies=3", portrait(1))),
            "HEAD" + side(0, 1) + "TAIL");
}

TEST_F(Booklet, BindingsAndRotation) {
  // Binding 1 mirrors; values above 1 pair as 0 does, traced.
  EXPECT_EQ(play(job(std::string(kHardware) + " wBookletBinding=1", portrait(2))),
            "HEAD" + side(1, 0) + side(0, 2) + "TAIL");
  EXPECT_EQ(play(job(std::string(kHardware) + " wBookletBinding=7", portrait(2))),
            "HEAD" + side(0, 1) + side(2, 0) + "TAIL");
  EXPECT_EQ(count(m.traces(), u"wBookletBinding above 1 pairs the pages as 0 does.\n"), 1u);
  // Selector 1 turns landscape pages, 2 portrait ones; other orientation codes
  // get neither origin nor rotation.
  auto firstSide = [](const std::string& out) { return out.substr(4, out.find("{E}") - 1); };
  EXPECT_EQ(firstSide(play(job(kHardware, {2, 1, 1, 1}, 1))), "{B}{O0}{S}{C}p4;\x74{O3}{R0}{S}{C}p1;{E}");
  EXPECT_EQ(firstSide(play(job(kHardware, {2, 1, 1, 1}, 2))), "{B}{O0}{R1}{S}{C}p4;\x74{O3}{S}{C}p1;{E}");
  EXPECT_EQ(firstSide(play(job(kHardware, {2, 1, 1, 1}, 3))), "{B}{O0}{S}{C}p4;\x74{O3}{S}{C}p1;{E}");
  EXPECT_EQ(firstSide(play(job(kHardware, {5, 1, 1, 9}, 1))), "{B}{S}{C}p4;\x74{S}{C}p1;{E}");
}

// Which BeginPage opens a side, from the printer's feature record and the settings.
TEST_F(Booklet, BeginPageChoice) {
  const std::string cover = std::string(kHardware) + " wBookletSide=1";
  // No feature record: the outer sheet of a printer-made booklet with a cover side.
  EXPECT_EQ(play(job(cover, portrait(5))),
            "HEAD" + side(0, 1, "{A}") + side(2, 0, "{A}") + side(0, 3) + side(4, 5) + "TAIL");
  feature(1, 0x0100);
  EXPECT_EQ(play(job(cover, portrait(1))), "HEAD" + side(0, 1) + "TAIL");
  feature(1, 0);
  EXPECT_EQ(play(job(cover, portrait(1))), "HEAD" + side(0, 1) + "TAIL");
  mode(u"2");
  EXPECT_EQ(play(job(kSoftware, portrait(2))), "HEADAAAA" + side(2, 0) + "BBBB" + side(0, 1, "{A}") + "TAIL");
  feature(1, 0x0100);
  EXPECT_EQ(play(job(kSoftware, portrait(2))), "HEADAAAA" + side(2, 0) + "BBBB" + side(0, 1) + "TAIL");
  feature(2, 0);
  EXPECT_EQ(play(job(kSoftware, portrait(2))), "HEADAAAA" + side(2, 0) + "BBBB" + side(0, 1) + "TAIL");
}

// Booklet jobs on two printers at once each print what they print alone.
TEST_F(Booklet, TwoPrintersInterleaved) {
  constexpr char16_t kSecond[] = u"KQ PCL6 Second";
  winsim::PrinterConfig second = *m->printer(test::kPrinter);
  second.name = kSecond;
  second.port = u"USB002";
  m->setPrinter(second);
  struct Plan {
    std::u16string printer;
    std::vector<uint8_t> settings;
    std::string record;
    std::vector<int> orientations;
  };
  auto record = [](const std::string& begin) {
    auto e = test::labelledElements(false, 1);
    e[1].data = begin;
    return test::bookletRecord(e);
  };
  Plan a{test::kPrinter,
         jobkit::SettingsBuilder{}.with("wBooklet", 1).with("wHardwareBooklet", 2).build(test::kPrinter),
         record("{Ba}"),
         {1, 2, 1}};
  Plan b{kSecond,
         jobkit::SettingsBuilder{}
             .with("wBooklet", 1)
             .with("wHardwareBooklet", 2)
             .with("wBookletBinding", 1)
             .build(kSecond),
         record("{Bb}"),
         {2, 1, 2, 1, 2}};
  auto steps = [](winsim::PrintJob& j, const Plan& plan) {
    auto write = [&j](const std::string& bytes) {
      DWORD w;
      j.write(bytes.data(), static_cast<DWORD>(bytes.size()), &w);
    };
    std::vector<std::function<void()>> s;
    s.push_back([&j] { ASSERT_TRUE(j.startDoc()); });
    s.push_back([&j, &plan] {
      DWORD w;
      j.write(plan.settings.data(), static_cast<DWORD>(plan.settings.size()), &w);
    });
    s.push_back([write] { write("HEAD"); });
    s.push_back([write, &plan] { write(plan.record); });
    for (size_t k = 0; k < plan.orientations.size(); ++k) {
      s.push_back(
          [write, &plan, k] { write(std::string("\x1B\xF0\x10\xAA", 4) + static_cast<char>(plan.orientations[k])); });
      s.push_back([write, k] { write("p" + std::to_string(k + 1) + ";"); });
    }
    while (s.size() < 17) s.push_back([] {});
    s.push_back([write] { write(std::string("\x1B\xF0\x10\xFF", 4) + "TAIL"); });
    s.push_back([&j] { j.endDoc(); });
    s.push_back([&j] { j.close(); });
    return s;
  };
  auto alone = [&](const Plan& plan, const std::u16string& name) {
    winsim::PrintJob j(plan.printer, 0, name);
    for (auto& step : steps(j, plan)) step();
  };
  alone(a, u"A alone");
  alone(b, u"B alone");
  {
    winsim::PrintJob ja(a.printer, 0, u"A"), jb(b.printer, 0, u"B");
    auto sa = steps(ja, a), sb = steps(jb, b);
    for (size_t i = 0; i < sa.size(); ++i) {
      sa[i]();
      sb[i]();
    }
  }
  std::map<std::u16string, std::string> out;
  for (auto& d : m->documents()) out[d.name] = m.document(d.number);
  EXPECT_EQ(out[u"A"], out[u"A alone"]);
  EXPECT_EQ(out[u"B"], out[u"B alone"]);
  EXPECT_NE(out[u"A"].find("{Ba}{O2}{R0}{S}{C}p2;"), std::string::npos) << out[u"A"];
  EXPECT_NE(out[u"B"].find("{Bb}{O2}{R0}{S}{C}p1;"), std::string::npos) << out[u"B"];
}

// Every failing call of a booklet replay in turn: the job ends with what the
// replay could send, and nothing is left behind.
TEST(BookletFaults, EachCallFailingInTurn) {
  for (const char* settings : {"wBooklet=1 wHardwareBooklet=2", "wBooklet=1 wManualDuplex=2 wInstructionPage=1"}) {
    for (const char* function : {"GlobalAlloc", "ReadFile", "SetFilePointer", "WritePrinter", "GetPrinterDataW"}) {
      for (int nth = 1; nth <= 8; ++nth) {
        SCOPED_TRACE(std::string(settings) + ": " + function + " call " + std::to_string(nth));
        test::TestMachine m;
        m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", u"1");
        std::string script = job(settings, {1, 2, 1, 1, 2}).script();
        script.insert(script.find("enddoc"), "fail " + std::string(function) + " nth=" + std::to_string(nth) + "\n");
        m.play(script);
        EXPECT_EQ(test::leaksOf(m.machine()), "");
      }
    }
  }
}

}  // namespace
