// The replay orders, on the worked cases of each.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/spooled_job.h"
#include "support/test_machine.h"

namespace {

using test::SpooledJob;

// The port output of the job just played.
std::string play(const SpooledJob& job, test::TestMachine& m) {
  m.play(job.script());
  return m.document(m.documentCount());
}

std::string play(const SpooledJob& job) {
  test::TestMachine m;
  return play(job, m);
}

struct Case {
  const char* settings;
  int pages;
  const char* output;
};

void expectAll(const std::vector<Case>& cases) {
  for (auto& c : cases) EXPECT_EQ(play({c.settings, c.pages}), c.output) << c.settings << ", " << c.pages << " pages";
}

TEST(ReverseOrder, SequencesAndPrefixes) {
  expectAll({
      {"wReverseOrder=1", 1, "HEADAAAAp1;TAIL"},
      {"wReverseOrder=1", 3, "HEADBBBBp3;p2;p1;TAIL"},
      {"wReverseOrder=2", 2, "HEADAAAAp1;TAIL"},
      {"wReverseOrder=2", 5, "HEADBBBBp1;p3;p5;TAIL"},
      {"wReverseOrder=3", 1, ""},
      {"wReverseOrder=3", 3, "HEADAAAAp2;TAIL"},
      {"wReverseOrder=3 wBookletSide=1", 4, "HEADAAAAp2;BBBBp4;TAIL"},
      {"wReverseOrder=1 wCollate=1 dmCopies=2", 2, "HEADBBBBp2;p1;BBBBp2;p1;TAIL"},
      {"wReverseOrder=1 dmCopies=3", 2, "HEADBBBBp2;p1;TAIL"},
  });
}

TEST(ReverseOrder, PatternRows) {
  expectAll({
      {"wReverseOrder=1 wHardwareBooklet=1", 4, "HEADBBBBp4;BBBBp3;p2;p1;TAIL"},
      {"wReverseOrder=1 wBookletSide=1", 4, "HEADAAAAp4;BBBBp3;p2;p1;TAIL"},
      {"wReverseOrder=1 wBookletSide=1 wHardwareBooklet=2", 4, "HEADAAAAp4;AAAAp3;BBBBp2;p1;TAIL"},
      {"wReverseOrder=2 wBookletSide=1 wHardwareBooklet=1", 3, "HEADAAAAp1;AAAAp3;TAIL"},
  });
}

// The prefixes are the last eight bytes the driver sent before the first
// page: a header whose buffer there could not be stored has none, and goes
// whole; a lost buffer before them leaves them as they were.
TEST(ReverseOrder, AHeaderThatLostItsPrefixesGoesWhole) {
  // The header's last buffers, the first of them failing to be stored.
  auto job = [](const std::string& header) {
    return "settings reset wReverseOrder=1\nstartdoc\nwrite settings\nwrite text \"HEADHEAD\"\n"
           "fail WriteFile nth=1 path=\"*ZQP*\"\n" +
           header +
           "startpage\nwrite marker page-start\nwrite text \"p1;\"\nendpage\n"
           "startpage\nwrite marker page-start\nwrite text \"p2;\"\nendpage\nwrite marker pages-end\n"
           "write text \"TAIL\"\nenddoc\nclose\n";
  };
  test::TestMachine m;
  m.play(job("write text \"lost\"\nwrite text \"AAAABBBB\"\n"));
  EXPECT_EQ(m.document(1), "HEADHEADBBBBp2;p1;TAIL");
  m.play(job("write text \"AAAABBBB\"\n"));
  EXPECT_EQ(m.document(2), "HEADHEADp2;p1;TAIL");
  EXPECT_TRUE(m.hasTrace(u"The job's header lost a buffer; its pages go without the page prefixes.\n"));
}

// The copier: a page of 8192 bytes takes one read and one write, 8193 two
// of each (8192, then 1), an empty page none.
TEST(Replay, TransferBufferChunks) {
  for (auto [size, chunks] : {std::pair{8192, std::vector<int>{8192}}, std::pair{8193, std::vector<int>{8192, 1}},
                              std::pair{0, std::vector<int>{}}}) {
    test::TestMachine m;
    winsim::PrintJob job(test::kPrinter, 1, u"chunks");
    ASSERT_TRUE(job.startDoc());
    auto settings = jobkit::SettingsBuilder{}.with("wReverseOrder", 1).build(test::kPrinter);
    std::string page(static_cast<size_t>(size), 'x');
    DWORD w;
    job.write(settings.data(), 1625, &w);
    job.write("HEADAAAABBBB", 12, &w);
    job.write("\x1B\xF0\x10\xAA\x01", 5, &w);
    if (size) job.write(page.data(), static_cast<DWORD>(size), &w);
    job.write("\x1B\xF0\x10\xFF", 4, &w);
    std::vector<std::string> calls;
    winsim::Observer o;
    o.api = [&](const std::string& line) { calls.push_back(line); };
    m->setObserver(o);
    m->setLogApi(true);
    job.endDoc();
    m->setLogApi(false);
    job.close();
    // After the header and the prefixes, the page's reads and its writes.
    std::vector<int> reads, writes;
    bool inPage = false;
    for (auto& c : calls) {
      auto value = [&](const std::string& key) {
        size_t at = c.find("\"" + key + "\":");
        return at == std::string::npos ? -1 : std::stoi(c.substr(at + key.size() + 3));
      };
      if (c.find("\"function\":\"SetFilePointer\"") != std::string::npos && value("lDistanceToMove") == 12)
        inPage = true;
      if (!inPage) continue;
      if (c.find("\"function\":\"ReadFile\"") != std::string::npos) reads.push_back(value("nNumberOfBytesToRead"));
      if (c.find("\"function\":\"WritePrinter\"") != std::string::npos && value("cbBuf") != 4)
        writes.push_back(value("cbBuf"));
    }
    EXPECT_EQ(reads, chunks) << size;
    EXPECT_EQ(writes, chunks) << size;
    EXPECT_TRUE(m.document(1) == "HEADAAAA" + page);  // one page: entry 0 before it
  }
}

TEST(Collation, CopiesWithTheWholeHeader) {
  expectAll({{"wCollate=1 dmCopies=3", 2, "HEADAAAABBBBp1;p2;p1;p2;p1;p2;TAIL"}});
}

TEST(Replay, UndefinedValuesActAsTheNearestDefinedOne) {
  const std::u16string undefinedCopies =
      u"wCollate and wPrinterCopies have no meaning together here; one copy is made.\n";
  auto count = [](const test::TestMachine& m, const std::u16string& trace) {
    auto traces = m.traces();
    return std::count(traces.begin(), traces.end(), trace);
  };
  {
    test::TestMachine m;
    EXPECT_EQ(play({"wReverseOrder=7", 2}, m), "HEADBBBBp2;p1;TAIL");
    // Collated copies that the printer is to make in some undefined way: one copy.
    EXPECT_EQ(play({"wReverseOrder=1 wCollate=1 wPrinterCopies=2 dmCopies=3", 2}, m), "HEADBBBBp2;p1;TAIL");
    EXPECT_EQ(play({"wMediaType=3 wOhpMode=9", 1}, m), "HEADAAAAp1;BBBBp1;TAIL");
    EXPECT_EQ(count(m, u"wReverseOrder above 3 prints in reverse order.\n"), 1);
    EXPECT_EQ(count(m, undefinedCopies), 1);
  }
  // In reverse order any wCollate but 1 is one copy, as defined: no trace.
  test::TestMachine r;
  EXPECT_EQ(play({"wReverseOrder=1 wCollate=2 dmCopies=3", 2}, r), "HEADBBBBp2;p1;TAIL");
  EXPECT_EQ(count(r, undefinedCopies), 0);
  // OHP reads wCollate as a switch: 2 is undefined there.
  EXPECT_EQ(play({"wMediaType=3 wOhpMode=1 wCollate=2 dmCopies=3", 1}, r), "HEADAAAAp1;BBBBp1;TAIL");
  EXPECT_EQ(count(r, undefinedCopies), 1);
}

// A header of exactly the eight prefix bytes: every reordering replay still
// reads them from the file and puts them before its pages.
TEST(Replay, HeaderOfOnlyThePrefixes) {
  auto only = [](const char* settings, int pages) {
    SpooledJob job{settings, pages};
    job.header = "";
    return play(job);
  };
  EXPECT_EQ(only("wReverseOrder=1", 2), "BBBBp2;p1;TAIL");
  EXPECT_EQ(only("wReverseOrder=2", 3), "BBBBp1;p3;TAIL");
  EXPECT_EQ(only("wReverseOrder=3", 3), "AAAAp2;TAIL");
  EXPECT_EQ(only("wMediaType=3 wOhpMode=1", 1), "AAAAp1;BBBBp1;TAIL");
  EXPECT_EQ(only("wCollate=1 dmCopies=2", 1), "AAAABBBBp1;p1;TAIL");
  test::TestMachine m;
  m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", u"1");
  SpooledJob duplex{"wManualDuplex=1", 2};
  duplex.header = "";
  m.play(duplex.script());
  EXPECT_EQ(m.document(1), "AAAAp2;TAIL");
  EXPECT_EQ(m.document(2), "BBBBp1;TAIL");
}

TEST(Replay, JobsWithoutMarkersOrPrefixesLoseNothing) {
  for (const char* order : {"wReverseOrder=1", "wCollate=1 dmCopies=2", "wMediaType=3 wOhpMode=1", "wManualDuplex=1"}) {
    SCOPED_TRACE(order);
    // No page-start marker: the file once, whole and unchanged.
    EXPECT_EQ(play({order, 0, false}), "HEADAAAABBBBTAIL");
    // No end marker: the last page runs to the end, the trailer is empty.
    test::TestMachine m;
    m.play(SpooledJob{order, 1, false}.script());
    std::string out = m.document(1);
    EXPECT_NE(out.find("p1;TAIL"), std::string::npos) << out;
    EXPECT_EQ(out.rfind("TAIL"), out.size() - 4);
  }
  // Fewer than 8 bytes before the first page: the header whole, no prefixes.
  EXPECT_EQ(play({"wReverseOrder=1", 2, true, false}), "HEADp2;p1;TAIL");
}

TEST(Ohp, PairsAndSeparators) {
  expectAll({
      {"wMediaType=3 wOhpMode=1", 2, "HEADAAAAp1;BBBBp1;AAAAp2;BBBBp2;TAIL"},
      {"wMediaType=3 wOhpMode=1 wReverseOrder=1", 2, "HEADAAAAp2;BBBBp2;AAAAp1;BBBBp1;TAIL"},
      {"wMediaType=3 wOhpMode=2", 3, "HEADAAAAp3;BBBBp1;AAAAp3;BBBBp2;TAIL"},
      {"wMediaType=3 wOhpMode=2 wOhpSeparatorAfter=1", 3, "HEADBBBBp1;AAAAp3;BBBBp2;AAAAp3;TAIL"},
      {"wMediaType=3 wOhpMode=3 wReverseOrder=1", 3, "HEADAAAAp3;BBBBp2;AAAAp3;BBBBp1;TAIL"},
      {"wMediaType=3 wOhpMode=2", 1, "HEADTAIL"},
      {"wMediaType=3 wOhpMode=1 wCollate=1 dmCopies=2", 1, "HEADAAAAp1;BBBBp1;AAAAp1;BBBBp1;TAIL"},
  });
}

struct ManualDuplex : ::testing::Test {
  test::TestMachine m;
  void mode(const char16_t* value) {
    m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", value);
  }
  void firstPassDescending(bool descending) {
    std::vector<uint8_t> feature(84, 0);
    feature[79] = descending ? 0x01 : 0x00;
    m->setPrinterData(test::kPrinter, u"MDL_FEATURE", feature);
  }
};

TEST_F(ManualDuplex, SplitIntoTwoDocumentsWithThePromptBetween) {
  mode(u"1");
  m.play(SpooledJob{"wManualDuplex=1", 2, true, true, "Report"}.script());
  EXPECT_EQ(m.document(1), "HEADAAAAp2;TAIL");
  EXPECT_EQ(m.document(2), "HEADBBBBp1;TAIL");
  ASSERT_EQ(m->documents().size(), 2u);
  EXPECT_EQ(m->documents()[1].name, u"Report");
  ASSERT_EQ(m->messageBoxes().size(), 1u);
  auto box = m->messageBoxes()[0];
  EXPECT_EQ(box.text, u"Re-insert the sheets into Multi-purpose tray");
  EXPECT_EQ(box.caption, u"Manual Duplex");
  EXPECT_EQ(box.style, 0x11030u);
}

TEST_F(ManualDuplex, PassOrders) {
  mode(u"2");
  firstPassDescending(true);
  EXPECT_EQ(play({"wManualDuplex=1 wBackSideOrder=1", 6}, m), "HEADAAAAp6;p4;p2;BBBBp5;p3;p1;TAIL");
  firstPassDescending(false);
  EXPECT_EQ(play({"wManualDuplex=1 wBackSideOrder=2", 4}, m), "HEADAAAAp2;p4;TAIL");
  EXPECT_TRUE(m->messageBoxes().empty());
}

// An odd last page has no back: every front stays on the sheet of its back,
// and the last page goes on a sheet of its own at the end of the second
// pass. A pass without pages sends no prefix.
TEST_F(ManualDuplex, OddPageCounts) {
  mode(u"2");
  struct Case {
    int pages;
    bool descending;
    int backSideOrder;
    const char* output;
  };
  for (auto c :
       {Case{1, false, 0, "HEADBBBBp1;TAIL"}, Case{1, true, 1, "HEADBBBBp1;TAIL"},
        Case{3, false, 0, "HEADAAAAp2;BBBBp1;p3;TAIL"}, Case{3, true, 1, "HEADAAAAp2;BBBBp1;p3;TAIL"},
        Case{3, false, 1, "HEADAAAAp2;BBBBp1;p3;TAIL"}, Case{5, false, 0, "HEADAAAAp2;p4;BBBBp1;p3;p5;TAIL"},
        Case{5, true, 0, "HEADAAAAp4;p2;BBBBp1;p3;p5;TAIL"}, Case{5, false, 1, "HEADAAAAp2;p4;BBBBp3;p1;p5;TAIL"},
        Case{5, true, 1, "HEADAAAAp4;p2;BBBBp3;p1;p5;TAIL"}}) {
    firstPassDescending(c.descending);
    std::string settings = "wManualDuplex=1 wBackSideOrder=" + std::to_string(c.backSideOrder);
    EXPECT_EQ(play({settings, c.pages}, m), c.output)
        << c.pages << " pages, " << (c.descending ? "descending" : "ascending") << ", order " << c.backSideOrder;
  }
}

// A back side order that prints no fronts keeps its output, says so, and
// asks nobody to put sheets back for a pass that prints nothing.
TEST_F(ManualDuplex, NoFrontsNoPrompt) {
  mode(u"1");
  m.play(SpooledJob{"wManualDuplex=1 wBackSideOrder=2", 4}.script());
  EXPECT_EQ(m.document(1), "HEADAAAAp2;p4;TAIL");
  EXPECT_EQ(m.document(2), "HEADTAIL");
  EXPECT_TRUE(m->messageBoxes().empty());
  auto traces = m.traces();
  EXPECT_NE(
      std::find(
          traces.begin(), traces.end(),
          u"wBackSideOrder 2 is neither 0 nor 1: the fronts are not printed, and no re-insert prompt is shown.\n"),
      traces.end());
}

// The second pass goes into a document of its own or nowhere: a spooler
// that cannot end the first or start the second stops the replay with a
// message, and asks nobody to put sheets back for nothing.
TEST_F(ManualDuplex, ASecondDocumentThatCannotBeStartedStopsTheReplay) {
  mode(u"1");
  const std::u16string lost = u"Failed to start the second pass of the job; its other sides are not printed.";
  for (const char* function : {"StartDocPrinterW", "EndDocPrinter"}) {
    SCOPED_TRACE(function);
    size_t boxes = m->messageBoxes().size(), documents = m->documents().size();
    m.play(std::string("fail ") + function + "\n" + SpooledJob{"wManualDuplex=1", 4}.script());
    auto all = m->messageBoxes();
    ASSERT_FALSE(all.size() == boxes);
    EXPECT_EQ(all.back().text, lost);
    bool prompted = all.size() - boxes == 2;
    EXPECT_EQ(prompted, std::string(function) == "StartDocPrinterW");  // the first pass ended: its prompt stands
    EXPECT_EQ(m->documents().size() - documents, 1u);
    EXPECT_EQ(m.document(m.documentCount()), "HEADAAAAp2;p4;TAIL");
  }
}

TEST_F(ManualDuplex, UtilityDialogAfterTheWholeJob) {
  mode(u"0");
  m.play(SpooledJob{"wManualDuplex=1", 4}.script());
  EXPECT_EQ(m.document(1), "HEADAAAAp2;p4;BBBBp1;p3;TAIL");
  EXPECT_EQ(m.document(2), "");
  ASSERT_EQ(m->messageBoxes().size(), 1u);
  EXPECT_EQ(m->messageBoxes()[0].caption, u"Manual Duplex");
  EXPECT_NE(m->messageBoxes()[0].text.find(u"multi-purpose tray"), std::u16string::npos);
}

TEST_F(ManualDuplex, InstructionPageFollowsTheFirstHeader) {
  mode(u"2");
  m->writeFile(std::u16string(test::kDriverDir) + u"INSTPORT.PXL", "[instructions]");
  EXPECT_EQ(play({"wManualDuplex=1 wInstructionPage=1", 2}, m), "HEAD[instructions]AAAAp2;BBBBp1;TAIL");
  EXPECT_EQ(play({"wManualDuplex=1 wInstructionPage=1 dmOrientation=3", 2}, m), "HEADAAAAp2;BBBBp1;TAIL");
}

// The INI file names the page below the driver folder; a name that leads
// out of it, at any depth, prints nothing from elsewhere.
TEST_F(ManualDuplex, InstructionPageNeverComesFromOutsideTheDriverFolder) {
  mode(u"2");
  std::u16string dir(test::kDriverDir), ini = dir + u"KQXLEN.INI";
  m->writeFile(dir + u"sub\\page.pxl", "[below]");
  m->writeFile(dir + u"secret.pxl", "[secret]");
  m->writeFile(u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\secret.pxl", "[outside]");
  WritePrivateProfileStringW(u"DUPLEX", u"INSTRUCT_PORT", u"sub\\page.pxl", ini.c_str());
  EXPECT_EQ(play({"wManualDuplex=1 wInstructionPage=1", 2}, m), "HEAD[below]AAAAp2;BBBBp1;TAIL");
  for (const char16_t* name : {u"..\\secret.pxl", u"sub\\..\\..\\secret.pxl", u"sub\\..\\secret.pxl",
                               u"sub\\.\\page.pxl", u"sub/../../secret.pxl", u"C:\\secret.pxl", u"sub\\\\page.pxl"}) {
    WritePrivateProfileStringW(u"DUPLEX", u"INSTRUCT_PORT", name, ini.c_str());
    EXPECT_EQ(play({"wManualDuplex=1 wInstructionPage=1", 2}, m), "HEADAAAAp2;BBBBp1;TAIL") << winsim::toUtf8(name);
  }
  EXPECT_TRUE(m.hasTrace(u"The instruction page's file is not one in the driver folder; it is not printed.\n"));
}

// The page is only read: it prints while another program reads it too, and
// is lost only to one that lets nobody else read.
TEST_F(ManualDuplex, InstructionPagePrintsWhileAnotherProgramReadsIt) {
  mode(u"2");
  std::u16string page = std::u16string(test::kDriverDir) + u"INSTPORT.PXL";
  m->writeFile(page, "[instructions]");
  ASSERT_TRUE(m->holdFile(page, GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(play({"wManualDuplex=1 wInstructionPage=1", 2}, m), "HEAD[instructions]AAAAp2;BBBBp1;TAIL");
  ASSERT_TRUE(m->holdFile(page, GENERIC_READ, 0));
  EXPECT_EQ(play({"wManualDuplex=1 wInstructionPage=1", 2}, m), "HEADAAAAp2;BBBBp1;TAIL");
  EXPECT_TRUE(m.hasTrace(u"The instruction page could not be read; it is not printed.\n"));
  m->releaseFile(page);
}

TEST_F(ManualDuplex, NamelessDocumentAndDefaultTexts) {
  mode(u"1");
  std::u16string ini = std::u16string(test::kDriverDir) + u"KQXLEN.INI";
  WritePrivateProfileStringW(u"DUPLEX", u"MD_Message", nullptr, ini.c_str());
  WritePrivateProfileStringW(u"DUPLEX", u"MD_CAPTION", nullptr, ini.c_str());
  m.play(SpooledJob{"wManualDuplex=1", 2, true, true, ""}.script());
  EXPECT_EQ(m->documents()[1].name, u"Untitled");
  EXPECT_EQ(m->messageBoxes()[0].text, u"Re-insert the sheets into Multi-purpose tray");
  EXPECT_EQ(m->messageBoxes()[0].caption, u"Manual Duplex");
}

}  // namespace
