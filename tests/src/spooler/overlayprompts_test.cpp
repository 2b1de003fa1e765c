// Overlay creation and the prompts at job start.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/pxl_builder.h"
#include "support/api_log.h"
#include "support/test_machine.h"

namespace {

const std::u16string kKey = u"Software\\KQPrint\\KQXL\\DIZ\\Overlay Data";
constexpr UINT kPromptStyle = MB_OKCANCEL | MB_ICONQUESTION | MB_SYSTEMMODAL;

// A creation job: "before" ahead of the first page, then pages of "page-N".
std::string creationJob(const std::string& path, int pages = 1, const std::string& more = "") {
  std::string quoted;
  for (char c : path) quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
  std::string s = "settings reset wOverlayMode=2 szOverlayFile=\"" + quoted + "\" " + more +
                  "\nstartdoc\nwrite settings\nwrite text \"before\"\n";
  for (int k = 1; k <= pages; ++k) s += "startpage\nwrite text \"page-" + std::to_string(k) + "\"\nendpage\n";
  return s + "write text \"after\"\nenddoc\nclose\n";
}

// A machine with the folder the forms go into.
struct FormsMachine : test::TestMachine {
  FormsMachine() { machine().writeFile(u"C:\\forms\\about.txt", "forms"); }
};

// The first write of the last job played: its settings record.
const jobkit::HookResult& firstWrite(test::TestMachine& m) {
  size_t start = 0;
  for (size_t i = 0; i < m.hooks().size(); ++i)
    if (std::string(m.hooks()[i].hook) == "DrvSplStartDoc") start = i;
  return m.hooks()[start + 1];
}

std::string hostFile(test::TestMachine& m, const std::u16string& path) {
  return test::TestMachine::slurpHost(m->hostPath(path));
}

TEST(OverlayCreation, FirstPageIsRecordedAndNothingPrinted) {
  FormsMachine m;
  m.play(creationJob("C:\\forms\\one.ovl"));
  EXPECT_EQ(hostFile(m, u"C:\\forms\\one.ovl"), "page-1after");  // one page: to the end of the job
  EXPECT_EQ(m.document(1), "");
  ASSERT_EQ(m->messageBoxes().size(), 1u);
  EXPECT_EQ(m->messageBoxes()[0].text, u"Create Page Overlay ?");
  EXPECT_EQ(m->messageBoxes()[0].caption, u"C:\\forms\\one.ovl");
  EXPECT_EQ(m->messageBoxes()[0].style, kPromptStyle);
  EXPECT_EQ(m->registryString(kKey, u"Overlay Message"), u"1");
  // The same user again: no prompt, and the job's first write fails; the
  // trace says why.
  m.play(creationJob("C:\\forms\\two.ovl", 2));
  EXPECT_EQ(m->messageBoxes().size(), 1u);
  EXPECT_TRUE(m.traced(u"The form is not recorded: this user was asked once before"));
  EXPECT_EQ(firstWrite(m).result, 0);
  EXPECT_FALSE(std::filesystem::exists(m->hostPath(u"C:\\forms\\two.ovl")));
}

TEST(OverlayCreation, AskAlwaysPromptsEveryJobAndLeavesTheRegistry) {
  FormsMachine m;
  m.play(creationJob("C:\\forms\\a.ovl", 2, "wOverlayAskAlways=3"));
  m.play(creationJob("C:\\forms\\a2.ovl", 2, "wOverlayAskAlways=3"));
  EXPECT_EQ(m->messageBoxes().size(), 2u);
  EXPECT_FALSE(m->registryString(kKey, u"Overlay Message").has_value());
  EXPECT_EQ(hostFile(m, u"C:\\forms\\a.ovl"), "page-1");  // two pages: only the first
  // Cancelled: nothing recorded, the first write fails with nothing written.
  m->queueAnswers({IDCANCEL});
  m.play(creationJob("C:\\forms\\b.ovl", 1, "wOverlayAskAlways=3"));
  EXPECT_FALSE(std::filesystem::exists(m->hostPath(u"C:\\forms\\b.ovl")));
  const auto& first = firstWrite(m);
  EXPECT_EQ(first.result, 0);
  EXPECT_EQ(first.written, 0u);
}

// A watermark marker during the first page records the recording form.
TEST(OverlayCreation, WatermarkMarkerRecordsTheRecordingForm) {
  FormsMachine m;
  m.play(
      "settings reset wWatermark=1 szWatermarkText=\"W\" szWatermarkFont=\"DejaVu Sans\" wOverlayMode=2 "
      "szOverlayFile=\"C:\\forms\\w.ovl\"\nstartdoc\nwrite settings\nstartpage\nwrite text \"<\"\n"
      "write marker watermark\nwrite text \">\"\nendpage\nenddoc\nclose\n");
  std::string expected = "<" + std::string("\x69\xC0\xFC\xF8\x2C\x7B", 6) + m.watermarkFile(1) + ">";
  EXPECT_EQ(hostFile(m, u"C:\\forms\\w.ovl"), expected);
}

// Only plain file paths are created; an existing file is replaced only when
// it is an overlay or empty. A path the rules refuse is not offered: the
// failure box alone, no prompt.
TEST(OverlayCreation, PathsThatAreRefused) {
  FormsMachine m;
  std::string recorded("\xC0\x00\xF8\x28\x43\x61\x60\x44", 8);  // a recorded page: PushGS, PopGS
  m->writeFile(u"C:\\forms\\old.ovl", recorded);
  m->writeFile(u"C:\\forms\\empty.ovl", "");
  m->writeFile(u"C:\\WINDOWS\\system32\\config\\SAM", "regf hive");
  for (const char* path :
       {"", "C:\\forms", "\\\\.\\PhysicalDrive0", "\\\\?\\C:\\forms\\x.ovl", "C:\\forms\\x.ovl:ads",
        "C:\\forms\\aux.ovl", "C:\\LPT1\\x.ovl", "forms\\x.ovl", "C:\\WINDOWS\\system32\\config\\SAM"}) {
    SCOPED_TRACE(path);
    size_t boxes = m->messageBoxes().size();
    m.play(creationJob(path, 1, "wOverlayAskAlways=3"));
    ASSERT_GT(m->messageBoxes().size(), boxes);
    EXPECT_EQ(m->messageBoxes()[boxes].text, u"Failed to CreateFile in Create Overlay");
    EXPECT_EQ(firstWrite(m).result, 0);
  }
  EXPECT_EQ(hostFile(m, u"C:\\WINDOWS\\system32\\config\\SAM"), "regf hive");
  for (const char16_t* path : {u"C:\\forms\\old.ovl", u"C:\\forms\\empty.ovl"}) {
    m.play(creationJob(winsim::toUtf8(path), 1, "wOverlayAskAlways=3"));
    EXPECT_EQ(hostFile(m, path), "page-1after");
  }
}

// A recording refused before it starts leaves the user's one prompt for the
// next try; a prompt the user answered uses it up, whatever the answer.
TEST(OverlayCreation, ARefusedRecordingKeepsThePromptForTheNextTry) {
  test::TestMachine m;  // no C:\forms yet
  m.play(creationJob("C:\\forms\\cal.ovl"));
  EXPECT_TRUE(m.traced(u"Overlay recording to \"C:\\forms\\cal.ovl\" refused: its folder does not exist."));
  ASSERT_FALSE(m->messageBoxes().empty());
  EXPECT_EQ(m->messageBoxes()[0].text, u"Failed to CreateFile in Create Overlay");
  EXPECT_FALSE(m->registryString(kKey, u"Overlay Message").has_value());
  // A device is refused the same way, before any file call on it.
  {
    test::ApiLog log(m);
    m.play(creationJob("C:\\forms\\COM\xC2\xB9.ovl"));
    EXPECT_TRUE(log.naming("COM\u00B9").empty());
  }
  EXPECT_TRUE(m.traced(u"refused: it names a device."));
  EXPECT_FALSE(m->registryString(kKey, u"Overlay Message").has_value());
  // The folder made, the retry is asked and recorded.
  m->makeFolder(u"C:\\forms");
  m.play(creationJob("C:\\forms\\cal.ovl"));
  EXPECT_EQ(m->messageBoxes().back().text, u"Create Page Overlay ?");
  EXPECT_EQ(hostFile(m, u"C:\\forms\\cal.ovl"), "page-1after");
  EXPECT_EQ(m->registryString(kKey, u"Overlay Message"), u"1");
}

// A prompt the user answered Cancel is the one prompt: not asked again.
TEST(OverlayCreation, ACancelledPromptIsNotAskedAgain) {
  FormsMachine other;
  other->queueAnswers({IDCANCEL});
  other.play(creationJob("C:\\forms\\x.ovl"));
  EXPECT_EQ(other->registryString(kKey, u"Overlay Message"), u"1");
  other.play(creationJob("C:\\forms\\x.ovl"));
  EXPECT_EQ(other->messageBoxes().size(), 1u);
  EXPECT_TRUE(other.traced(u"The form is not recorded: this user was asked once before"));
}

// A job printing over a form whose path names a device prints as over a
// missing form, and says why; the device is never opened.
TEST(OverlayPrinting, AFormPathNamingADeviceIsNeverOpened) {
  auto job = [](const std::string& path) {
    std::string quoted;
    for (char c : path) quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "settings reset wOverlayMode=1 szOverlayFile=\"" + quoted +
           "\"\nstartdoc\nwrite settings\nwrite text \"HEAD\"\nwrite marker overlay\nwrite text \"TAIL\"\n"
           "enddoc\nclose\n";
  };
  std::string withoutForm;
  {
    FormsMachine missing;
    missing.play(job("C:\\forms\\none.ovl"));
    withoutForm = missing.document(1);
  }
  ASSERT_EQ(withoutForm.substr(0, 4), "HEAD");
  for (const char* path : {"C:\\forms\\COM\xC2\xB9.ovl", "C:\\forms\\LPT0.ovl", "C:\\forms\\CONIN$.ovl"}) {
    SCOPED_TRACE(path);
    FormsMachine m;
    test::ApiLog log(m);
    m.play(job(path));
    EXPECT_EQ(m.document(1), withoutForm);
    EXPECT_TRUE(m.traced(u"is not opened: it names a device."));
    EXPECT_TRUE(m.hasTrace(u"The job's form cannot be printed; its pages print without it.\n"));
    for (auto& line : log.calls("CreateFileW")) EXPECT_EQ(line.find(".ovl"), std::string::npos) << line;
    EXPECT_TRUE(log.calls("GetFileAttributesW").empty());
  }
}

// A recorded page that draws with a font the document downloaded before it
// is no form: the creation job says so at its end, after the library's
// reason; a page that defines its own fonts is one, silently.
TEST(OverlayCreation, ARecordingThatIsNoFormIsSaidSo) {
  FormsMachine m;
  auto setFontAndText = [](pclxl::Writer& w) {
    w.xy(pclxl::DataType::UInt16, 300, 300, pclxl::attr::Point).op(pclxl::op::SetCursor);  // text needs a cursor
    w.ubyteArray("@", pclxl::attr::FontName)
        .real32(100, pclxl::attr::CharSize)
        .uint16(0, pclxl::attr::SymbolSet)
        .op(pclxl::op::SetFont);
    w.ubyteArray("A", pclxl::attr::TextData).op(pclxl::op::Text);
  };
  std::string header, page;
  pclxl::Writer h(header);
  test::defineFont(h, "@");
  test::downloadChar(h, "@", 'A');
  pclxl::Writer p(page);
  p.ubyte(0, pclxl::attr::Orientation).ubyte(0, pclxl::attr::MediaSize).op(pclxl::op::BeginPage);
  setFontAndText(p);
  p.op(pclxl::op::EndPage);
  m.hostFile("header.bin", header);
  m.hostFile("page.bin", page);
  const std::u16string said = u"The form recorded cannot be printed under other jobs; they will print without it.\n";
  m.play(R"(settings reset wOverlayMode=2 wOverlayAskAlways=3 szOverlayFile="C:\\forms\\h.ovl"
startdoc
write settings
write file "header.bin"
startpage
write file "page.bin"
endpage
enddoc
close)");
  auto traces = m.traces();
  ASSERT_NE(std::find(traces.begin(), traces.end(), said), traces.end());
  EXPECT_NE(std::find_if(traces.begin(), traces.end(),
                         [](auto& t) { return t.find(u"neither defined nor resident") != std::u16string::npos; }),
            traces.end());
  // The same page with its own font is a form.
  std::string own;
  pclxl::Writer o(own);
  o.ubyte(0, pclxl::attr::Orientation).ubyte(0, pclxl::attr::MediaSize).op(pclxl::op::BeginPage);
  test::defineFont(o, "@");
  test::downloadChar(o, "@", 'A');
  setFontAndText(o);
  o.op(pclxl::op::EndPage);
  m.hostFile("own.bin", own);
  m.play(R"(settings reset wOverlayMode=2 wOverlayAskAlways=3 szOverlayFile="C:\\forms\\own.ovl"
startdoc
write settings
startpage
write file "own.bin"
endpage
enddoc
close)");
  traces = m.traces();
  EXPECT_EQ(std::count(traces.begin(), traces.end(), said), 1);
}

// A prompt that could not be shown (MessageBoxW gives 0) is no OK: the
// recording and the printing with the form are both called off.
TEST(OverlayPrompts, ABoxThatCouldNotBeShownIsACancel) {
  FormsMachine m;
  m->queueAnswers({0});
  m.play(creationJob("C:\\forms\\zero.ovl", 1, "wOverlayAskAlways=3"));
  EXPECT_FALSE(std::filesystem::exists(m->hostPath(u"C:\\forms\\zero.ovl")));
  EXPECT_EQ(firstWrite(m).result, 0);
  EXPECT_EQ(firstWrite(m).written, 0u);
  m->queueAnswers({0});
  m.play(
      "settings reset wOverlayMode=1 wOverlayQuery=1 szOverlayFile=\"C:\\\\forms\\\\f.ovl\"\nstartdoc\n"
      "write settings\nclose\n");
  EXPECT_EQ(firstWrite(m).result, 0);
}

// A recording whose every write fails shows its box once; the rest are traced.
TEST(OverlayCreation, TheWritingFailureBoxOnceAJob) {
  FormsMachine m;
  std::string job =
      "fail WriteFile every\nsettings reset wOverlayMode=2 wOverlayAskAlways=3 "
      "szOverlayFile=\"C:\\\\forms\\\\w.ovl\"\nstartdoc\nwrite settings\nstartpage\n";
  for (int i = 0; i < 5; ++i) job += "write text \"buffer\"\n";
  m.play(job + "endpage\nenddoc\nclose\n");
  int boxes = 0;
  for (auto& box : m->messageBoxes()) boxes += box.text == u"Failed in Writing Overlay file";
  EXPECT_EQ(boxes, 1);
  auto traces = m.traces();
  EXPECT_EQ(std::count(traces.begin(), traces.end(), u"Failed in Writing Overlay file\n"), 4);
}

// A creation job aborted before its end leaves no open file.
TEST(OverlayCreation, AbortedJobClosesItsFile) {
  FormsMachine m;
  m.play(
      "settings reset wOverlayMode=2 szOverlayFile=\"C:\\forms\\x.ovl\"\nstartdoc\nwrite settings\nstartpage\n"
      "write text \"part\"\nabort\nclose\n");
  HANDLE h = CreateFileW(u"C:\\forms\\x.ovl", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

TEST(OverlayQuery, OkPrintsWithTheOverlayCancelTurnsItOff) {
  FormsMachine m;
  std::string recorded = std::string("\xC0\x00\xF8\x28\x43\x61\x60\x44", 8);
  m->writeFile(u"C:\\forms\\f.ovl", recorded);
  std::string job =
      "settings reset wOverlayMode=1 wOverlayQuery=1 szOverlayFile=\"C:\\forms\\f.ovl\"\nstartdoc\n"
      "write settings\nwrite marker overlay\nenddoc\nclose\n";
  m.play(job);
  EXPECT_NE(m.document(1).find("\x61\x60"), std::string::npos);
  EXPECT_EQ(m->messageBoxes()[0].text, u"Print Document with the Overlay ?");
  m->queueAnswers({IDCANCEL});
  m.play(job);
  EXPECT_EQ(m.document(2), "");
  // A path that is not a plain file path gives no overlay, spooled or direct.
  m->writeFile(u"C:\\WINDOWS\\system32\\config\\SAM", recorded);
  for (const char* spooled : {"", "wReverseOrder=1"}) {
    m.play("settings reset wOverlayMode=1 szOverlayFile=\"\\\\?\\C:\\WINDOWS\\system32\\config\\SAM\" " +
           std::string(spooled) +
           "\nstartdoc\nwrite settings\nwrite text \"HEADAAAABBBB\"\nwrite marker page-start\n"
           "write marker overlay\nwrite marker pages-end\nenddoc\nclose\n");
    EXPECT_EQ(m.document(m.documentCount()).find("\x61\x60"), std::string::npos);
  }
}

// Every failing call of a creation job in turn leaves nothing behind.
TEST(OverlayFaults, EachCallFailingInTurn) {
  for (const char* function :
       {"CreateFileW", "WriteFile", "GlobalAlloc", "LoadLibraryW", "GetProcAddress", "WritePrinter"}) {
    for (int nth = 1; nth <= 4; ++nth) {
      SCOPED_TRACE(std::string(function) + " call " + std::to_string(nth));
      FormsMachine m;
      m.play("fail " + std::string(function) + " nth=" + std::to_string(nth) + "\n" +
             creationJob("C:\\forms\\f.ovl", 2, "wOverlayAskAlways=3"));
    }
  }
}

}  // namespace
