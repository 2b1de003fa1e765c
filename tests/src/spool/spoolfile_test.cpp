// The spool file and its page index.
#include <gtest/gtest.h>

#include <algorithm>

#include "job/booklet_store.h"
#include "job/shared.h"
#include "spool/spoolfile.h"
#include "spooler/writepath.h"
#include "spooler/hooks.h"
#include "support/spooled_job.h"
#include "support/test_machine.h"

namespace {

using test::SpooledJob;

// The component's process-wide lock, for tests that call its operations directly.
void initComponentOnce() {
  static bool done = [] {
    InitializeCriticalSection(&UmpdSection);
    return true;
  }();
  (void)done;
}

TEST(SpoolFile, MarkersAreConsumedAndLookalikesStored) {
  test::TestMachine m;
  const std::string job = R"(settings reset wReverseOrder=1
startdoc
write settings
write text "HEADAAAABBBB"
startpage
write marker page-start 1
write hex 1B F0 10 42 99 99
write text "TimeToInsertOverlaX"
write marker overlay
write marker watermark
write text "xTimeToInsertWatermark"
write marker pages-end
write text "TAIL"
)";
  m.play(job + "close\n");
  EXPECT_EQ(m.document(1), "");  // no end of document: nothing replayed
  EXPECT_TRUE(m.hasTrace(u"  --- Temp File created ...\n"));
  m.play(job + "enddoc\nclose\n");
  EXPECT_EQ(m.document(2), "HEADAAAATimeToInsertOverlaXxTimeToInsertWatermarkTAIL");
}

TEST(SpoolFile, PageIndexAsTraced) {
  test::TestMachine m;
  m.play(R"(settings wReverseOrder=1
startdoc
write settings
write text "HEADAAAABBBB"
write marker page-start 1
write marker page-start 1
write text "p2;"
write marker page-start 1
write text "p3"
write marker pages-end
write text "TAIL"
enddoc
close)");
  for (auto line : {u" pData->file_info.iTotalPage = 3 \n", u" pData->file_info.dwCount = 21 \n",
                    u" pData->file_info.dwPage[0] = 12 \n", u" pData->file_info.dwPage[1] = 12 \n",
                    u" pData->file_info.dwPage[2] = 15 \n", u" pData->file_info.dwPage[3] = 17 \n"})
    EXPECT_TRUE(m.hasTrace(line)) << winsim::toUtf8(line);
  EXPECT_FALSE(m.hasTrace(u" pData->file_info.dwPage[4] = 0 \n"));
  EXPECT_EQ(m.document(1), "HEADBBBBp3p2;TAIL");  // page 1 is empty
}

TEST(SpoolFile, WatermarkBlocksGoIntoTheFileWithTheirPage) {
  test::TestMachine m;
  m.play(R"(settings wReverseOrder=1 wWatermark=1 wWatermarkFirstOnly=1 wNoClipToPage=1
startdoc
write settings
write text "HEADAAAABBBB"
startpage
write marker page-start 1
write text "p1;"
write marker watermark
endpage
startpage
write marker page-start 1
write marker watermark
write text "p2;"
write marker pages-end
enddoc
close)");
  // The spool form always clips to the page; only page 1 has a block.
  EXPECT_EQ(m.printed(1), "HEADBBBBp2;p1;" + m.watermarkBlock());
}

// Without its spool file the job cannot print as asked: its settings
// buffer fails, with the box, and so does its data; its markers are taken.
TEST(SpoolFile, FileThatCannotBeCreatedFailsTheSettingsAndTheData) {
  for (auto fault :
       {winsim::FaultPlan{"GetTempFileNameW"}, winsim::FaultPlan{"CreateFileW", 1, false, u"*\\TEMP\\*"}}) {
    test::TestMachine m;
    m->addFault(fault);
    m.play(SpooledJob{"wReverseOrder=1", 2}.script());
    ASSERT_EQ(m->messageBoxes().size(), 1u) << fault.function;
    EXPECT_EQ(m->messageBoxes()[0].text, u"Could not create temporary file.");
    std::vector<long long> results;
    for (auto& h : m.hooks())
      if (std::string(h.hook) == "DrvSplWritePrinter") results.push_back(h.result);
    // settings, HEAD, AAAABBBB, marker, p1;, marker, p2;, pages-end, TAIL
    EXPECT_EQ(results, (std::vector<long long>{0, 0, 0, 1, 0, 1, 0, 1, 0})) << fault.function;
    EXPECT_EQ(m.document(1), "");
  }
}

TEST(SpoolFile, FailedWritesKeepTheIndexTrue) {
  test::TestMachine m;
  m.play(R"(settings wReverseOrder=1
startdoc
write settings
write text "HEADAAAABBBB"
write marker page-start 1
write text "p1;"
fail WriteFile nth=1
write text "lost"
write marker page-start 1
write text "p2;"
write marker pages-end
enddoc
close)");
  EXPECT_EQ(m.document(1), "HEADBBBBp2;p1;");
}

TEST(SpoolFile, IndexGrowsPastTwoThousandPages) {
  test::TestMachine m;
  constexpr int kPages = 100000;
  winsim::PrintJob job(test::kPrinter, 1, u"long");
  ASSERT_TRUE(job.startDoc());
  auto settings = jobkit::SettingsBuilder{}.with("wReverseOrder", 1).build(test::kPrinter);
  DWORD w;
  job.write(settings.data(), 1625, &w);
  job.write("HEADAAAABBBB", 12, &w);
  const char start[] = "\x1B\xF0\x10\xAA\x01";
  for (int k = 1; k <= kPages; ++k) {
    job.write(start, 5, &w);
    std::string page = std::to_string(k) + ";";
    job.write(page.data(), static_cast<DWORD>(page.size()), &w);
  }
  job.write("\x1B\xF0\x10\xFF", 4, &w);
  job.endDoc();
  job.close();
  std::string out = m.document(1);
  EXPECT_EQ(out.substr(0, 16), "HEADBBBB100000;9");
  EXPECT_EQ(out.substr(out.size() - 8), "4;3;2;1;");
}

// The 32-bit offsets of the page index: a buffer that would take the file
// past 4 GiB - 1 is refused, and what is spooled stays.
TEST(SpoolFile, FourGibLimit) {
  test::TestMachine m;
  HANDLE printer = winsim::OpenPrinterHandle(test::kPrinter);
  JobData job{};
  job.hPrinter = printer;
  job.Settings.wReverseOrder = 1;
  PlanJob(&job, SettingsSource::JobRecord);
  initComponentOnce();
  ASSERT_TRUE(InitFileOperation(&job));
  DWORD w = 0;
  ASSERT_TRUE(WriteToFile(&job, const_cast<char*>("abcd"), 4, &w));
  job.file_info.dwCount = 0xFFFFFFFFu - 2;  // as if nearly 4 GiB were spooled
  EXPECT_FALSE(WriteToFile(&job, const_cast<char*>("xyz"), 3, &w));
  EXPECT_TRUE(WriteToFile(&job, const_cast<char*>("xy"), 2, &w));
  EXPECT_EQ(job.file_info.dwCount, 0xFFFFFFFFu);
  EXPECT_TRUE(m.hasTrace(u"The spool file would pass 4 GiB; the buffer is not stored.\n"));
  ReleaseSpoolFile(&job);
  winsim::ClosePrinterHandle(printer);
}

TEST(SpoolFile, BookletPagesRecordTheirOrientation) {
  test::TestMachine m;
  HANDLE printer = winsim::OpenPrinterHandle(test::kPrinter);
  JobData job{};
  job.hPrinter = printer;
  job.Settings.wBooklet = 1;
  job.Settings.dm.dmOrientation = 2;
  PlanJob(&job, SettingsSource::JobRecord);
  initComponentOnce();
  ASSERT_TRUE(InitFileOperation(&job));
  DWORD w;
  for (int k = 0; k < 65; ++k) {
    BYTE marker[5] = {0x1B, 0xF0, 0x10, 0xAA, static_cast<BYTE>(k % 2 + 1)};
    ASSERT_TRUE(WriteToFile(&job, marker, k == 64 ? 4 : 5, &w));
  }
  const BOOKLET_INFO& store = job.booklet_info;
  EXPECT_EQ(store.pOrientation.dwCapacity, 128u);
  EXPECT_EQ(store.pOrientation[0], 1);
  EXPECT_EQ(store.pOrientation[63], 2);
  EXPECT_EQ(store.pOrientation[64], 2);  // a marker without its byte: the job's orientation
  // An array that cannot grow fails that marker and keeps what it holds.
  for (int k = 65; k < 128; ++k) {
    BYTE marker[5] = {0x1B, 0xF0, 0x10, 0xAA, 1};
    ASSERT_TRUE(WriteToFile(&job, marker, 5, &w));
  }
  m->addFault({"GlobalAlloc", 1});
  BYTE marker[5] = {0x1B, 0xF0, 0x10, 0xAA, 2};
  EXPECT_FALSE(WriteToFile(&job, marker, 5, &w));
  EXPECT_EQ(job.file_info.iTotalPage, 128);
  EXPECT_EQ(store.pOrientation.dwCapacity, 128u);
  EXPECT_EQ(store.pOrientation[127], 1);
  EXPECT_TRUE(WriteToFile(&job, marker, 5, &w));  // the next try grows it
  EXPECT_EQ(store.pOrientation[128], 2);
  EXPECT_EQ(store.pOrientation[0], 1);
  ReleaseSpoolFile(&job);
  EXPECT_EQ(store.pOrientation.pItems, nullptr);
  winsim::ClosePrinterHandle(printer);
}

TEST(SpoolFile, ShortReadEndsItsRangeAndSendsNothingUnread) {
  test::TestMachine m;
  std::string script = SpooledJob{"wReverseOrder=1", 3}.script();
  // Reads: the header, the prefixes, then page 3.
  script.insert(script.find("enddoc"), "fail ReadFile nth=3\n");
  m.play(script);
  EXPECT_EQ(m.document(1), "HEADBBBBp2;p1;TAIL");
  EXPECT_TRUE(m.hasTrace(u"Short read from the spool file; the rest of the range is not sent.\n"));
}

TEST(SpoolFile, TextCaptureKeepsTheSpoolFileEmpty) {
  test::TestMachine m;
  m.play(SpooledJob{"wTextCapture=1 wReverseOrder=1", 2}.script());
  EXPECT_TRUE(m.hasTrace(u"  --- Temp File created ...\n"));
  EXPECT_TRUE(m.hasTrace(u" pData->file_info.dwCount = 0 \n"));
  EXPECT_EQ(m.document(1),
            std::string("HEADAAAABBBB\x1B\xF0\x10\xAA\x01p1;\x1B\xF0\x10\xAA\x01p2;\x1B\xF0\x10\xFFTAIL"));
}

TEST(SpoolFile, BookletBitTakesPrecedenceOverManualDuplex) {
  test::TestMachine m;
  m.play(SpooledJob{"wBooklet=1 wManualDuplex=1", 2}.script());
  // Neither booklet kind asked for, and no record to frame pages with:
  // nothing lost, the pages once in order.
  EXPECT_EQ(m.document(1), "HEADAAAABBBBp1;p2;TAIL");
  EXPECT_TRUE(m.hasTrace(u"A booklet job without a usable booklet record prints its pages once in order.\n"));
}

TEST(SpoolFile, ClosedJobsLeaveNoSpoolFile) {
  // Every test machine checks for temp files at its end; these are the
  // paths that end a job without a replay.
  test::TestMachine m;
  m.play(R"(settings wReverseOrder=1
startdoc
write settings
write text "HEADAAAABBBB"
write marker page-start 1
abort
enddoc
close
startdoc
write settings
write text "x"
close)");
  EXPECT_EQ(m.document(1), "");  // the aborted job replays nothing
}

}  // namespace
