// Text captured between the markers and written at the end of its page.
#include <gtest/gtest.h>

#include <regex>

#include "job/record.h"
#include "spooler/textcapture.h"
#include "support/test_machine.h"

namespace {

const char kStart[] = "write hex 1B FB 0B FA\n";
const char kStop[] = "write hex 1B FB 0B FB\n";
const std::u16string kCaptureFile = u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\textout.teq";

std::string job(const std::string& page, const std::string& settings = "wTextCapture=1") {
  return "settings reset " + settings + "\nstartdoc\nwrite settings\nstartpage\n" + page + "endpage\nenddoc\nclose\n";
}

// The sizes of the printer writes, from the API log.
struct Writes {
  std::vector<long long> sizes;
  explicit Writes(test::TestMachine& m) {
    winsim::Observer o;
    o.api = [this](const std::string& line) {
      std::smatch match;
      if (line.find("\"WritePrinter\"") != std::string::npos &&
          std::regex_search(line, match, std::regex("\"cbBuf\":([0-9]+)")))
        sizes.push_back(std::stoll(match[1]));
    };
    m->setObserver(o);
    m->setLogApi(true);
  }
};

TEST(TextCapture, StretchesReplayInChunksAtThePagesEnd) {
  for (auto [captured, chunks] :
       {std::pair{20000, std::vector<long long>{8192, 8192, 3616}}, std::pair{8192, std::vector<long long>{8192}},
        std::pair{0, std::vector<long long>{}}}) {
    SCOPED_TRACE(captured);
    test::TestMachine m;
    m.hostFile("text.bin", std::string(static_cast<size_t>(captured), 't'));
    std::string body = captured ? "write file \"text.bin\"\n" : "";
    Writes writes(m);
    m.play(job("write text \"A\"\n" + std::string(kStart) + body + kStop + "write text \"B\"\n"));
    EXPECT_EQ(m.document(1), "AB" + std::string(static_cast<size_t>(captured), 't'));
    // "A" and "B" go at once, then the stretch.
    std::vector<long long> expected = {1, 1};
    expected.insert(expected.end(), chunks.begin(), chunks.end());
    EXPECT_EQ(writes.sizes, expected);
    EXPECT_FALSE(std::filesystem::exists(m->hostPath(kCaptureFile)));
  }
}

TEST(TextCapture, MarkersAreDataInMode2AndPagesWithoutMarkersPassThrough) {
  test::TestMachine m;
  m.play(job(std::string(kStart) + "write text \"x\"\n" + kStop, "wTextCapture=1 wTextCaptureMode=2"));
  EXPECT_EQ(m.document(1), std::string("\x1B\xFB\x0B\xFAx\x1B\xFB\x0B\xFB", 9));
  m.play(job("write text \"plain\"\n"));
  EXPECT_EQ(m.document(2), "plain");
}

// A second stretch while the first awaits its page's end cannot have the
// file: its start fails, its bytes go out at once, and its stop marker
// leaves the first stretch alone.
TEST(TextCapture, TwoStretchesInOnePage) {
  test::TestMachine m;
  m.play(job(std::string(kStart) + "write text \"one\"\n" + kStop + kStart + "write text \"two\"\n" + kStop +
             "write text \"end\"\n"));
  EXPECT_EQ(m.document(1), "twoendone");
  ASSERT_EQ(m->messageBoxes().size(), 1u);
  EXPECT_EQ(m->messageBoxes()[0].text, u"Could not create temporary file.");
  EXPECT_STREQ(m.hooks()[6].hook, "DrvSplWritePrinter");  // the second start marker fails
  EXPECT_EQ(m.hooks()[6].result, 0);
}

// A stretch without its stop marker, or awaiting a page end that never came,
// is written at the end of the document; a job closed without one leaves no
// file, and the next job captures again.
TEST(TextCapture, JobsThatEndWhileCapturing) {
  test::TestMachine m;
  m.play("settings reset wTextCapture=1\nstartdoc\nwrite settings\nstartpage\n" + std::string(kStart) +
         "write text \"held\"\nenddoc\nclose\n");
  EXPECT_EQ(m.document(1), "held");
  m.play("settings reset wTextCapture=1\nstartdoc\nwrite settings\nstartpage\n" + std::string(kStart) +
         "write text \"lost\"\nabort\nclose\n");
  EXPECT_EQ(m.document(2), "");
  EXPECT_FALSE(std::filesystem::exists(m->hostPath(kCaptureFile)));
  m.play(job(std::string(kStart) + "write text \"again\"\n" + kStop));
  EXPECT_EQ(m.document(3), "again");
  EXPECT_TRUE(m->messageBoxes().empty());
}

// Two jobs capturing at once on two printers each defer their own text.
TEST(TextCapture, TwoJobsAtOnce) {
  test::TestMachine m;
  winsim::PrinterConfig second = *m->printer(test::kPrinter);
  second.name = u"KQ PCL6 Second";
  second.port = u"USB002";
  m->setPrinter(second);
  auto settings = jobkit::SettingsBuilder{}.with("wTextCapture", 1).build(test::kPrinter);
  auto settings2 = jobkit::SettingsBuilder{}.with("wTextCapture", 1).build(u"KQ PCL6 Second");
  winsim::PrintJob a(test::kPrinter, 0, u"A"), b(u"KQ PCL6 Second", 0, u"B");
  DWORD w;
  auto write = [&](winsim::PrintJob& j, const std::string& s) { j.write(s.data(), static_cast<DWORD>(s.size()), &w); };
  ASSERT_TRUE(a.startDoc());
  ASSERT_TRUE(b.startDoc());
  a.write(settings.data(), 1625, &w);
  b.write(settings2.data(), 1625, &w);
  a.startPage();
  b.startPage();
  write(a, "\x1B\xFB\x0B\xFA");
  write(b, "\x1B\xFB\x0B\xFA");
  write(a, "a-text");
  write(b, "b-text");
  write(a, "\x1B\xFB\x0B\xFB");
  write(b, "\x1B\xFB\x0B\xFB");
  write(a, "a-page;");
  write(b, "b-page;");
  a.endPage();
  b.endPage();
  a.endDoc();
  b.endDoc();
  a.close();
  b.close();
  std::map<std::u16string, std::string> out;
  for (auto& d : m->documents()) out[d.name] = m.document(d.number);
  EXPECT_EQ(out[u"A"], "a-page;a-text");
  EXPECT_EQ(out[u"B"], "b-page;b-text");
  EXPECT_TRUE(m->messageBoxes().empty());
}

// A short read ends the replay with its message and sends nothing unread;
// every failing call leaves nothing behind.
TEST(TextCapture, FailuresLoseNoHandleAndSendNothingUnread) {
  {
    test::TestMachine m;
    m.hostFile("text.bin", std::string(20000, 't'));
    std::string script = job(std::string(kStart) + "write file \"text.bin\"\n" + kStop + "fail ReadFile nth=2\n");
    m.play(script);
    EXPECT_EQ(m.document(1), std::string(8192, 't'));
    ASSERT_EQ(m->messageBoxes().size(), 1u);
    EXPECT_EQ(m->messageBoxes()[0].text, u"Failed to read file : PRINT_BUF_SIZE");
  }
  for (const char* function :
       {"CreateFileW", "WriteFile", "ReadFile", "SetFilePointer", "GlobalAlloc", "WritePrinter"}) {
    for (int nth = 1; nth <= 3; ++nth) {
      SCOPED_TRACE(std::string(function) + " call " + std::to_string(nth));
      test::TestMachine m;
      m.play("fail " + std::string(function) + " nth=" + std::to_string(nth) + "\n" +
             job(std::string(kStart) + "write text \"abc\"\n" + kStop + "write text \"def\"\n"));
      EXPECT_FALSE(std::filesystem::exists(m->hostPath(kCaptureFile)));
    }
  }
}

// A buffer the capture file took only partly is taken back whole: the text
// after it is not shifted by the part, and the failed buffer is the hook's.
// A stretch that would pass 4 GiB is refused the same way.
TEST(TextCapture, AFailedCaptureWriteLeavesTheCountTrue) {
  test::TestMachine m;
  m.play(job(std::string(kStart) +
             "write text \"first.\"\nfail WriteFile\nwrite text \"LOST\"\nwrite text \"third.\"\n" + kStop));
  EXPECT_EQ(m.document(1), "first.third.");
  ASSERT_EQ(m.hooks().size(), 11u);
  EXPECT_EQ(m.hooks()[5].result, 0);
  EXPECT_TRUE(m.hasTrace(u"Could not write to the capture file.\n"));

  HANDLE printer = winsim::OpenPrinterHandle(test::kPrinter);
  JobData data{};
  data.hPrinter = printer;
  data.Settings.wTextCapture = 1;
  DWORD w = 0;
  ASSERT_TRUE(TextCaptureWrite(&data, const_cast<char*>("\x1B\xFB\x0B\xFA"), 4, &w));
  data.text.dwTextfileCount = 0xFFFFFFFFu - 2;  // as if nearly 4 GiB were captured
  EXPECT_FALSE(TextCaptureWrite(&data, const_cast<char*>("xyz"), 3, &w));
  EXPECT_TRUE(TextCaptureWrite(&data, const_cast<char*>("xy"), 2, &w));
  EXPECT_EQ(data.text.dwTextfileCount, 0xFFFFFFFFu);
  EXPECT_TRUE(m.hasTrace(u"The capture file would pass 4 GiB; the buffer is not stored.\n"));
  TextCaptureClose(&data);
  winsim::ClosePrinterHandle(printer);
}

}  // namespace
