// Watermark rendering and the watermark and overlay blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "jobkit/settings.h"
#include "support/api_log.h"
#include "support/pxl_builder.h"
#include "support/spooled_job.h"
#include "support/test_machine.h"
#include "watermark/insertion.h"
#include "watermark/rendering.h"

namespace {

using test::TestMachine;

using test::ApiLog;

std::string watermarkJob(const std::string& settings) {
  return "settings reset wWatermark=1 szWatermarkText=\"DRAFT\" szWatermarkFont=\"DejaVu Sans\" wWatermarkSize=72 " +
         settings + "\nstartdoc\nwrite settings\nstartpage\nwrite marker watermark\nendpage\nenddoc\nclose\n";
}

// The watermark file a plain watermark job makes, on a machine of its own.
std::string plainWatermarkFile() {
  TestMachine m;
  m.play(watermarkJob(""));
  return m.watermarkFile(1);
}

// How often an operator stands in drawing placed in a page.
int operatorsIn(const std::string& drawing, uint8_t op) {
  std::string page = test::PxlBuilder().begin().page([&](pclxl::Writer& w) { w.out() += drawing; }).end().bytes();
  pclxl::Checker checker;
  int n = 0;
  checker.onCommand = [&](const pclxl::Command& c) { n += c.op == op; };
  test::feedBytes(checker, page);
  EXPECT_TRUE(checker.problems().empty());
  return n;
}

TEST(WatermarkRendering, SizeRule) {
  KQDEVMODE s{};
  s.wWatermarkSizeRule = 1;
  const std::pair<SHORT, SHORT> sizes[] = {{114, 114}, {115, 114}, {119, 114}, {120, 126},
                                           {125, 126}, {126, 126}, {127, 127}};
  for (auto [in, out] : sizes) {
    s.wWatermarkSize = in;
    EXPECT_EQ(WatermarkPointSize(s), out) << in;
  }
  s.wWatermarkSizeRule = 2;
  s.wWatermarkSize = 117;
  EXPECT_EQ(WatermarkPointSize(s), 117);
}

TEST(WatermarkRendering, ReferencePointTruncatesWithTheDegreeFactor) {
  struct Case {
    SHORT angle;
    INT dx, dy;
  };
  // h = 100: the shifts of x and y from the centre.
  for (auto c : {Case{0, 0, -100}, Case{90, -99, 0}, Case{45, -70, -70}, Case{180, 0, 99}, Case{-45, 70, -70}}) {
    INT x, y;
    WatermarkReferencePoint(1000, 2000, 200, c.angle, 7, -3, &x, &y);
    EXPECT_EQ(x, 500 + c.dx + 7) << c.angle;
    EXPECT_EQ(y, 1000 + c.dy - 3) << c.angle;
  }
}

// The job that draws the watermark goes through the component as every job
// does, but none of its user's features reach it: a user job that scales
// its pages, records a form, captures text or makes a booklet makes the
// same watermark as a plain one, and the drawing job asks nothing.
TEST(WatermarkRendering, TheDrawingJobTakesNoneOfTheUsersFeatures) {
  const std::string plain = plainWatermarkFile();
  ASSERT_FALSE(plain.empty());
  for (const char* features :
       {"dmScale=50", "wOverlayMode=2 wOverlayAskAlways=3 szOverlayFile=\"C:\\\\forms\\\\w.ovl\"",
        "wTextCapture=1 wTextCaptureMode=0", "wBooklet=1 wHardwareBooklet=2", "wReverseOrder=1 wBypass=0"}) {
    SCOPED_TRACE(features);
    TestMachine m;
    m->writeFile(u"C:\\forms\\about.txt", "");
    m.play(watermarkJob(features));
    EXPECT_EQ(m.watermarkFile(1), plain);
    size_t prompts = std::string(features).find("wOverlayMode") != std::string::npos ? 1 : 0;
    EXPECT_EQ(m->messageBoxes().size(), prompts);  // the user job's own prompt
  }
}

TEST(WatermarkRendering, TextOutAtTheComputedPointWithTheEscapement) {
  for (SHORT angle : {0, 45, 90, 180, -45, -30}) {
    TestMachine m;
    ApiLog log(m);
    m.play(watermarkJob("wWatermarkAngle=" + std::to_string(angle)));
    auto fonts = log.calls("CreateFontIndirectW");
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(ApiLog::number(fonts[0], "lfEscapement"), angle * 10);
    EXPECT_EQ(ApiLog::number(fonts[0], "lfHeight"), -600);  // 72 points at 600 dpi
    auto metrics = log.calls("GetTextMetricsW");
    auto text = log.calls("TextOutW");
    ASSERT_EQ(metrics.size(), 1u);
    ASSERT_EQ(text.size(), 1u);
    // Half the text's height from the centre of A4 (paper size 9) at 600 dpi
    // less the printer's 1/6-inch margins, 4761 by 6816, against the angle
    // (radians as 3.14159/180 to the degree), each shift cut toward zero.
    INT h = static_cast<INT>(ApiLog::number(metrics[0], "tmHeight")) / 2;
    double a = angle * (3.14159 / 180);
    EXPECT_EQ(ApiLog::number(text[0], "x"), 2380 - static_cast<INT>(std::trunc(h * std::sin(a)))) << angle;
    EXPECT_EQ(ApiLog::number(text[0], "y"), 3408 - static_cast<INT>(std::trunc(h * std::cos(a)))) << angle;
  }
}

TEST(WatermarkRendering, FileDrawsTheTextAsGlyphPaths) {
  TestMachine m;
  m.play(watermarkJob("dwWatermarkColor=0x0000FF"));
  std::string solid = m.watermarkFile();
  // Its own colour space, a red brush, no pen; D, R and A have two contours each, F and T one.
  EXPECT_EQ(solid.substr(0, 4), "\xC0\x02\xF8\x03");
  EXPECT_NE(solid.find("\xC8\xC0\x03\xFF\x00\x00\xF8\x0B\x63", 0, 9), std::string::npos);
  EXPECT_EQ(operatorsIn(solid, pclxl::op::CloseSubPath), 8);
  m.play(watermarkJob("wWatermarkOutline=1"));
  std::string outline = m.watermarkFile();
  EXPECT_NE(outline.find("\xC0\x00\xF8\x04\x63", 0, 5), std::string::npos);      // NullBrush
  EXPECT_NE(outline.find("\xC1\x02\x00\xF8\x4B\x7A", 0, 6), std::string::npos);  // PenWidth 2
  // The block in the page is the file, inside PushGS ... PopGS.
  EXPECT_EQ(m.printed(2), m.watermarkBlock());
  auto c = test::checkBytes(
      test::PxlBuilder().begin().page([&](pclxl::Writer& w) { w.out() += m.watermarkBlock(); }).end().bytes());
  EXPECT_TRUE(c.problems().empty()) << c.problems()[0].message;
}

TEST(WatermarkRendering, OutlineRetryInTheAnsiCharacterSet) {
  TestMachine m;
  ApiLog log(m);
  m->addFault({"GlyphOutlines", 1});  // the first font gives no outlines
  m.play(watermarkJob("wWatermarkOutline=1"));
  auto fonts = log.calls("CreateFontIndirectW");
  ASSERT_EQ(fonts.size(), 2u);
  EXPECT_EQ(ApiLog::number(fonts[0], "lfCharSet"), 1);
  EXPECT_EQ(ApiLog::number(fonts[1], "lfCharSet"), 0);  // code page 1252: ANSI_CHARSET
  EXPECT_EQ(log.calls("TextOutW").size(), 2u);
  EXPECT_EQ(operatorsIn(m.watermarkFile(), pclxl::op::CloseSubPath), 8);  // the second font's outlines, stroked
}

// What the watermark making loses it reports: outlines that the internal
// job could not take fail the making, and the pages print without it; a
// text without outlines in both character sets prints blank, with a trace.
TEST(WatermarkRendering, LostOutlinesAreReported) {
  {
    TestMachine m;
    m.play("settings wWatermarkOutline=1\nfail WritePrinter\n" + watermarkJob("wWatermarkOutline=1"));
    std::vector<std::u16string> boxes;
    for (auto& b : m->messageBoxes()) boxes.push_back(b.text);
    EXPECT_EQ(boxes, (std::vector<std::u16string>{u"Failed to makewatermark: WMark", u"Failed to CreateFile"}));
    EXPECT_EQ(m.hooks()[3].result, 1);  // the marker writes nothing
    EXPECT_EQ(m.printed(1), "");
  }
  {
    TestMachine m;
    m->addFault({"GlyphOutlines", 1, true});
    m.play(watermarkJob("wWatermarkOutline=1"));
    auto traces = m.traces();
    EXPECT_NE(std::find(traces.begin(), traces.end(),
                        u"The watermark text has no outlines in either character set: the watermark prints blank.\n"),
              traces.end());
  }
}

TEST(WatermarkRendering, OneFilePerOrientationAndNoneWithinTheInternalJob) {
  TestMachine m;
  m.play(R"(settings wWatermark=1 szWatermarkText="A"
startdoc
write settings
settings wWatermark=1 szWatermarkText="A" dmOrientation=2
write settings
settings wWatermark=1 szWatermarkText="A" dmOrientation=1
write settings
settings wWatermark=1 szWatermarkText="A" dmOrientation=2
write settings
startpage
write marker watermark
close)");
  int made = 0;
  for (auto& d : m->documents()) made += d.name == u"watermark file";
  EXPECT_EQ(made, 2);  // at the start and at the first change only
  EXPECT_EQ(m.printed(1), m.watermarkBlock(true, 2));
  EXPECT_NE(m.watermarkFile(1), m.watermarkFile(2));
}

TEST(WatermarkRendering, FieldsWithoutTerminatorAndLongFaceNames) {
  TestMachine m;
  ApiLog log(m);
  m.play(watermarkJob("szWatermarkText=\"" + std::string(80, 'W') + "\" szWatermarkFont=\"" + std::string(32, 'F') +
                      "\""));
  auto text = log.calls("TextOutW");
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(ApiLog::number(text[0], "c"), 80);
  auto font = log.calls("CreateFontIndirectW");
  EXPECT_NE(font[0].find("\"lfFaceName\":\"" + std::string(31, 'F') + "\""), std::string::npos);
  EXPECT_TRUE(m.traced(u"The watermark's face name is longer than a font's name can be"));
}

// A Japanese text one byte longer than its field keeps its whole
// characters: the lead byte left at the field's end is not drawn as a
// character of its own.
TEST(WatermarkRendering, HalfACharacterAtTheFieldsEndIsLeftOut) {
  TestMachine m;
  ApiLog log(m);
  // The user's side may fill the field to its last byte with a lead byte:
  // "a", 39 of 日 (0x93 0xFA) and the first byte of a 40th.
  std::string kanji;
  for (int i = 0; i < 39; ++i) kanji += "\u65e5";
  jobkit::SettingsBuilder record;
  record.withText("szWatermarkText", "a" + kanji);
  for (auto& [field, value] :
       std::initializer_list<std::pair<const char*, long long>>{{"wWatermark", 1}, {"wWatermarkSize", 72}})
    record.with(field, value);
  record.withText("szWatermarkFont", "MS Gothic");
  std::vector<uint8_t> bytes = record.build(u"KQ PCL6 Laser", 932);
  bytes[jobkit::findSettingsField("szWatermarkText")->offset + 79] = 0x93;
  std::string hex;
  for (uint8_t b : bytes) hex += " " + std::string(1, "0123456789ABCDEF"[b >> 4]) + "0123456789ABCDEF"[b & 15];
  m.play("codepage 932\nstartdoc\nwrite hex" + hex + "\nstartpage\nwrite marker watermark\nendpage\nenddoc\nclose\n");
  auto text = log.calls("TextOutW");
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(ApiLog::number(text[0], "c"), 40);
  EXPECT_TRUE(m.traced(u"The watermark's text or face name ends in half a character"));
}

// dmSize and dmDriverExtra are the user's side's: CreateDCW reads their sum,
// and is never handed more than the record holds. The watermark is the one
// sane sizes make.
TEST(WatermarkRendering, CreateDCIsHandedTheRecordsOwnSizes) {
  const std::string expected = plainWatermarkFile();
  ASSERT_FALSE(expected.empty());
  for (const char* field : {"dmSize", "dmDriverExtra"}) {
    for (int value : {0, 1624, 1626, 0xFFFF}) {
      TestMachine m;
      m.play(watermarkJob(std::string(field) + "=" + std::to_string(value)));
      EXPECT_EQ(m.watermarkFile(1), expected) << field << "=" << value;
      EXPECT_TRUE(m->messageBoxes().empty()) << field << "=" << value;
    }
  }
}

// A job without its watermark (an orientation without a file, or one whose
// making failed) prints its pages without it: the box once, a trace once,
// every marker written as nothing.
TEST(WatermarkInsertion, AJobWithoutItsWatermarkPrintsWithoutIt) {
  for (const char* why : {"dmOrientation=3", "dmOrientation=1\nfail StrokePath", "dmOrientation=1\nfail StartPage"}) {
    SCOPED_TRACE(why);
    TestMachine m;
    m.play(std::string("settings wWatermark=1 wWatermarkOutline=1 ") + why + R"(
startdoc
write settings
startpage
write marker watermark
write text "one"
endpage
startpage
write marker watermark
write text "two"
endpage
close)");
    EXPECT_EQ(m.printed(1), "onetwo");
    int boxes = 0;
    for (auto& b : m->messageBoxes()) boxes += b.text == u"Failed to CreateFile";
    EXPECT_EQ(boxes, 1);
    auto traces = m.traces();
    EXPECT_EQ(std::count(traces.begin(), traces.end(),
                         u"The job's watermark cannot be printed; its pages print without it.\n"),
              1);
    for (auto& h : m.hooks())
      if (h.hasResult) {
        EXPECT_NE(h.result, 0) << h.hook;
      }
  }
}

TEST(WatermarkInsertion, RecordingFormHasNoPushOrPop) {
  TestMachine m;
  m.play(watermarkJob(""));
  HANDLE printer = winsim::OpenPrinterHandle(test::kPrinter);
  JobData job{};
  job.hPrinter = printer;
  job.Settings.dm.dmOrientation = 1;
  job.Settings.wNoClipToPage = 1;       // not consulted by this form
  ASSERT_TRUE(KeepJobWatermark(&job));  // what the job made
  HANDLE file = CreateFileW(u"C:\\new.ovl", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(WriteRecordingWatermarkBlock(&job, file));
  CloseHandle(file);
  ReleaseJobWatermarks(&job);
  std::ifstream in(m->hostPath(u"C:\\new.ovl"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "\x69\xC0\xFC\xF8\x2C\x7B" + m.watermarkFile());
  winsim::ClosePrinterHandle(printer);
}

TEST(WatermarkInsertion, OverlayStreamBlockLengths) {
  DWORD n = 0;
  const std::string header = "HP-PCL XL;2;0;Comment KQXLUMPD form overlay";
  const DWORD text = static_cast<DWORD>(header.size());
  ASSERT_TRUE(OverlayStreamLength(1, &n));
  EXPECT_EQ(n, text + 4);
  ASSERT_TRUE(OverlayStreamLength(100000, &n));
  EXPECT_EQ(n, text + 100003);
  EXPECT_FALSE(OverlayStreamLength(0xFFFFFFFFu - text - 2, &n));
  EXPECT_TRUE(OverlayStreamLength(0xFFFFFFFFu - text - 3, &n));
  EXPECT_EQ(n, 0xFFFFFFFFu);

  TestMachine m;
  m->writeFile(u"C:\\forms\\f.ovl", std::string("\xC0\x00\xF8\x28\x43\x61\x60\x44", 8));  // a recorded page
  m.play(R"(settings wOverlayMode=1 szOverlayFile="C:\forms\f.ovl"
startdoc
write settings
write marker overlay
close
settings wOverlayMode=1 szOverlayFile="C:\forms\f.ovl" wReverseOrder=1
startdoc
write settings
write text "HEADAAAABBBB"
write marker page-start
write marker overlay
write marker pages-end
enddoc
close)");
  DWORD len = text + 2 + 3;
  std::string lengthBytes(reinterpret_cast<const char*>(&len), 4);
  std::string block = "\xC2" + lengthBytes + "\xF8\x8C\x5C\xFA" + lengthBytes + ") " + header + "\n\x61\x60";
  EXPECT_EQ(m.printed(1), block);
  EXPECT_EQ(m.printed(2), "HEADAAAA" + block);
  auto traces = m.traces();
  std::u16string count =
      u" pData->file_info.dwCount = " + winsim::fromUtf8(std::to_string(12 + text + 2 + 16)) + u" \n";
  EXPECT_NE(std::find(traces.begin(), traces.end(), count), traces.end());
}

// A form that cannot be served is an empty one: the page's stream gets
// content that plays nothing (a stream without any would stop the printer),
// the marker succeeds, and the job says once that it prints without it.
TEST(WatermarkInsertion, AFormThatCannotBeServedIsAnEmptyOne) {
  TestMachine m;
  m.play(R"(settings wOverlayMode=1 szOverlayFile="C:\\forms\\none.ovl"
startdoc
write settings
write marker overlay
write marker overlay
close)");
  EXPECT_EQ(m.hooks()[2].result, 1);
  EXPECT_EQ(m.hooks()[3].result, 1);
  EXPECT_TRUE(m->messageBoxes().empty());
  std::string header = ") HP-PCL XL;2;0;Comment KQXLUMPD form overlay\n";
  std::string block = std::string("\xC2", 1) + std::string(1, static_cast<char>(header.size())) + std::string(3, '\0') +
                      "\xF8\x8C\x5C\xFA" + std::string(1, static_cast<char>(header.size())) + std::string(3, '\0') +
                      header;
  EXPECT_EQ(m.document(1), block + block);
  auto traces = m.traces();
  EXPECT_EQ(
      std::count(traces.begin(), traces.end(), u"The job's form cannot be printed; its pages print without it.\n"), 1);
  EXPECT_EQ(
      std::count_if(traces.begin(), traces.end(),
                    [](const std::u16string& t) { return t.find(u"KQXLO: \"C:\\forms\\none.ovl\" is no form") == 0; }),
      1);  // the library is asked once a job
}

// A form drawn at another resolution than the job's prints at another
// size: the job says so, once, where the form's fonts tell its resolution.
TEST(WatermarkInsertion, AFormOfAnotherResolutionIsSaidSo) {
  TestMachine m;
  std::string page;
  pclxl::Writer w(page);
  w.ubyte(0, pclxl::attr::Orientation).ubyte(0, pclxl::attr::MediaSize).op(pclxl::op::BeginPage);
  test::defineFont(w, "@");  // a bitmap font of 600 dpi
  test::downloadChar(w, "@", 'A');
  w.op(pclxl::op::EndPage);
  m->writeFile(u"C:\\forms\\f600.ovl", page);
  const std::u16string said =
      u"The form was drawn at 600 dpi and this job prints at 300 dpi: it prints at 600/300 of its size.\n";
  for (const char* dpi : {"300", "600"}) {
    m.play(std::string("settings reset wOverlayMode=1 szOverlayFile=\"C:\\\\forms\\\\f600.ovl\" dmPrintQuality=") +
           dpi + "\nstartdoc\nwrite settings\nwrite marker overlay\nwrite marker overlay\nclose\n");
  }
  auto traces = m.traces();
  EXPECT_EQ(std::count(traces.begin(), traces.end(), said), 1);
}

// A form recorded on another paper, or turned, is cut off where the job's
// page ends: the job says which, once; a form of the job's own page says
// nothing.
TEST(WatermarkInsertion, AFormOfAnotherPaperOrOrientationIsSaidSo) {
  TestMachine m;
  auto form = [&](const char16_t* path, int orientation, int mediaSize) {
    std::string page;
    pclxl::Writer w(page);
    w.ubyte(orientation, pclxl::attr::Orientation).ubyte(mediaSize, pclxl::attr::MediaSize).op(pclxl::op::BeginPage);
    test::defineFont(w, "@");
    test::downloadChar(w, "@", 'A');
    w.op(pclxl::op::EndPage);
    m->writeFile(path, page);
  };
  form(u"C:\\forms\\a4l.ovl", 1, 2);     // A4, landscape
  form(u"C:\\forms\\letter.ovl", 0, 0);  // Letter, portrait
  auto play = [&](const char* file, const char* settings) {
    m.play(std::string("settings reset wOverlayMode=1 szOverlayFile=\"C:\\\\forms\\\\") + file + "\" " + settings +
           "\nstartdoc\nwrite settings\nwrite marker overlay\nwrite marker overlay\nclose\n");
  };
  play("a4l.ovl", "dmPaperSize=1 dmOrientation=1");
  auto traces = m.traces();
  const std::u16string paper =
      u"The form was recorded on A4 paper and this job prints on Letter: what lies outside the page is cut off.\n";
  const std::u16string turned =
      u"The form was recorded in landscape and this job prints in portrait: what lies outside the page is cut off.\n";
  EXPECT_EQ(std::count(traces.begin(), traces.end(), paper), 1);
  EXPECT_EQ(std::count(traces.begin(), traces.end(), turned), 1);
  size_t before = m.traces().size();
  play("a4l.ovl", "dmPaperSize=9 dmOrientation=2");
  play("letter.ovl", "dmPaperSize=1 dmOrientation=1");
  traces = m.traces();
  for (size_t i = before; i < traces.size(); ++i)
    EXPECT_EQ(traces[i].find(u"The form was recorded"), std::u16string::npos);
}

// Every failing call of the watermark's making and insertion in turn: the
// job goes on or the marker fails with the messages, and nothing is left.
TEST(WatermarkFaults, EachCallFailingInTurn) {
  for (const char* function :
       {"GlobalAlloc", "CreateFileW", "GetFileSize", "ReadFile", "SetFilePointer", "WritePrinter", "CreateDCW",
        "CreateFontIndirectW", "CreatePen", "StartDocW", "TextOutW"}) {
    for (int nth = 1; nth <= 6; ++nth) {
      SCOPED_TRACE(std::string(function) + " call " + std::to_string(nth));
      TestMachine m;
      std::string script = watermarkJob("wWatermarkOutline=1");
      script.insert(script.find("startdoc"), "fail " + std::string(function) + " nth=" + std::to_string(nth) + "\n");
      // A box of the watermark reader waits for the user with the file closed.
      std::u16string wmk = u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\kqpcl6.wmk";
      m->setAnswerCallback([&](const winsim::MessageBoxRecord& box) {
        static const std::u16string reader[] = {u"Failed to GetFileSize", u"failed to allocate memeory",
                                                u"Failed to SetFilePointer", u"Failed to ReadFile"};
        if (std::find(std::begin(reader), std::end(reader), box.text) == std::end(reader)) return IDOK;
        HANDLE h = CreateFileW(wmk.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << "the watermark file is held open under " << winsim::toUtf8(box.text);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return IDOK;
      });
      m.play(script);
      for (auto& box : m->messageBoxes()) {
        static const std::u16string known[] = {u"Failed to makewatermark: WMark",
                                               u"Failed to createDC in PSUI",
                                               u"Failed to startDoc",
                                               u"Failed to TextOut",
                                               u"Failed to createFont",
                                               u"Failed to createPen",
                                               u"Failed to CreateFile",
                                               u"Failed to GetFileSize",
                                               u"failed to allocate memeory",
                                               u"Failed to SetFilePointer",
                                               u"Failed to ReadFile",
                                               u"failed to read watermark data",
                                               u"failed to WritePrinter in watermark module"};
        bool isCode = !box.text.empty() &&
                      std::all_of(box.text.begin(), box.text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
        EXPECT_TRUE(isCode || std::find(std::begin(known), std::end(known), box.text) != std::end(known))
            << winsim::toUtf8(box.text);
      }
    }
  }
}

}  // namespace

namespace {

// A job of three pages with a watermark in each, on a printer of its own.
std::string ownWatermarkJob(const std::string& text, bool spooled) {
  std::string script = "printer name=\"" + text + " printer\"\nsettings reset wWatermark=1 szWatermarkText=\"" + text +
                       "\" szWatermarkFont=\"DejaVu Sans\"" + (spooled ? " wReverseOrder=1" : "") +
                       "\nstartdoc document=\"" + text + "\"\nwrite settings\n";
  for (int page = 1; page <= 3; ++page)
    script += "startpage\nwrite marker page-start 1\nwrite text \"<" + std::to_string(page) +
              ">\"\nwrite marker watermark\nendpage\n";
  return script + "write marker pages-end\nenddoc\nclose\n";
}

}  // namespace

// Two printers print at once, each job with a watermark text of its own: the
// watermark files are one per machine, yet every page of every job carries
// its own job's watermark, spooled and direct.
TEST(WatermarkConcurrency, TwoPrintersEachPrintTheirOwnWatermark) {
  for (bool spooled : {false, true}) {
    TestMachine m;
    const std::string texts[2] = {"ALPHA", "OMEGA"};
    std::map<std::u16string, std::string> alone;
    for (auto& text : texts) m.playRepeatedly(ownWatermarkJob(text, spooled), 1);
    for (auto& d : m->documents())
      if (d.name != u"watermark file") alone[d.name] = m.document(d.number);
    ASSERT_NE(alone[u"ALPHA"], alone[u"OMEGA"]);
    int before = m.documentCount();
    std::thread other([&] { m.playRepeatedly(ownWatermarkJob(texts[1], spooled), 15); });
    m.playRepeatedly(ownWatermarkJob(texts[0], spooled), 15);
    other.join();
    int compared = 0;
    for (auto& d : m->documents()) {
      if (d.number <= before || !alone.count(d.name)) continue;
      EXPECT_EQ(m.document(d.number), alone[d.name]) << winsim::toUtf8(d.name) << (spooled ? " spooled" : " direct");
      ++compared;
    }
    EXPECT_EQ(compared, 30);
    EXPECT_EQ(test::leaksOf(m.machine()), "");
  }
}
