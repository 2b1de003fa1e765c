// The overlay library as the component calls it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/pxl_builder.h"
#include "support/test_machine.h"
#include "watermark/overlaylib.h"

namespace {

// What overlay creation records for a first page that draws `drawing`:
// the page framing, then whatever followed it in the job.
std::string recording(const std::string& drawing, const std::string& after = "\x49\x42") {
  std::string bytes;
  pclxl::Writer(bytes).ubyte(0, pclxl::attr::Orientation).ubyte(0, pclxl::attr::MediaSize).op(pclxl::op::BeginPage);
  return bytes + drawing + "\x44" + after;
}

std::string rectangle(int x) {
  std::string bytes;
  pclxl::Writer(bytes)
      .box(pclxl::DataType::UInt16, x, 100, x + 200, 300, pclxl::attr::BoundingBox)
      .op(pclxl::op::Rectangle);
  return bytes;
}

struct OverlayLibrary : ::testing::Test {
  test::TestMachine m;
  HMODULE lib = nullptr;
  GetOverlaySizeFn getSize = nullptr;
  ReadOverlayFn read = nullptr;
  void SetUp() override {
    lib = LoadLibraryW((std::u16string(test::kDriverDir) + u"KQXLO.DLL").c_str());
    ASSERT_NE(lib, nullptr);
    ASSERT_TRUE(FindOverlayExports(lib, &getSize, &read));
  }
  void TearDown() override { FreeLibrary(lib); }
  std::string served(const char* path) {
    DWORD size = getSize(path);
    std::string buf(size, '\0');
    if (size && read(reinterpret_cast<BYTE*>(buf.data())) != 1) return "(unread)";
    return buf;
  }
};

// A recorded first page gives its drawing, without the page's framing and
// without what followed it.
TEST_F(OverlayLibrary, ServesTheDrawingOfARecordedPage) {
  m->writeFile(u"C:\\forms\\letterhead.ovl", recording(rectangle(100), "\x49\x42\x1B%-12345X"));
  EXPECT_EQ(served("C:\\forms\\letterhead.ovl"), rectangle(100));
}

// Only recorded overlays: any other file, and any path that is not a plain
// file path, gives nothing.
TEST_F(OverlayLibrary, ServesNothingButRecordedOverlays) {
  m->writeFile(u"C:\\WINDOWS\\system32\\config\\SAM", std::string("regf\x01\x00\x00\x00hive bytes", 18));
  m->writeFile(u"C:\\forms\\text.ovl", "just some text");
  m->writeFile(u"C:\\forms\\broken.ovl", recording(rectangle(100)).substr(0, 12));
  m->writeFile(u"C:\\forms\\pageless.ovl", rectangle(100));
  m->writeFile(u"C:\\forms\\good.ovl", recording(rectangle(100)));
  for (const char* path :
       {"C:\\WINDOWS\\system32\\config\\SAM", "C:\\forms\\text.ovl", "C:\\forms\\broken.ovl", "C:\\forms\\pageless.ovl",
        "C:\\forms\\none.ovl", "", "C:\\forms", "C:\\forms\\", "\\\\.\\C:\\forms\\good.ovl",
        "\\\\?\\C:\\forms\\good.ovl", "C:\\forms\\good.ovl:stream", "C:\\forms\\NUL", "C:\\forms\\con.ovl",
        "C:\\COM1\\good.ovl", "C:\\forms\\lpt9", "forms\\good.ovl", "\\forms\\good.ovl"}) {
    EXPECT_EQ(getSize(path), 0u) << path;
  }
  BYTE b[4];
  EXPECT_EQ(read(b), 0u);
  EXPECT_EQ(getSize("C:\\forms\\good.ovl"), rectangle(100).size());
  EXPECT_EQ(getSize("C:/forms/good.ovl"), rectangle(100).size());
}

TEST_F(OverlayLibrary, FileThatChangesOrFailsBetweenTheCalls) {
  m->writeFile(u"C:\\forms\\f.ovl", recording(rectangle(100)));
  BYTE b[64];
  ASSERT_EQ(getSize("C:\\forms\\f.ovl"), rectangle(100).size());
  m->addFault({"CreateFileW", 1});
  EXPECT_EQ(read(b), 0u);
  m->writeFile(u"C:\\forms\\f.ovl", recording(rectangle(100) + rectangle(400)));
  EXPECT_EQ(read(b), 0u);  // another size than reported: nothing
  m->deleteFile(u"C:\\forms\\f.ovl");
  EXPECT_EQ(read(b), 0u);
}

// An unchanged form is served from what the thread kept: no read, no
// check. A change of content at the same size is seen by its write time.
TEST_F(OverlayLibrary, AnUnchangedFormIsKeptAChangedOneReadAgain) {
  const std::string first = rectangle(100), second = rectangle(300);
  ASSERT_EQ(first.size(), second.size());
  m->writeFile(u"C:\\forms\\k.ovl", recording(first));
  std::string got(first.size(), '\0');
  ASSERT_EQ(getSize("C:\\forms\\k.ovl"), first.size());
  m->addFault({"ReadFile", 1, true});
  EXPECT_EQ(read(reinterpret_cast<BYTE*>(got.data())), 1u);
  EXPECT_EQ(got, first);
  m->clearFaults();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));  // another write time
  m->writeFile(u"C:\\forms\\k.ovl", recording(second));
  ASSERT_EQ(getSize("C:\\forms\\k.ovl"), second.size());
  EXPECT_EQ(read(reinterpret_cast<BYTE*>(got.data())), 1u);
  EXPECT_EQ(got, second);
}

// Two jobs on two threads, each between its size and its read while the
// other asks for another overlay: each gets its own.
TEST_F(OverlayLibrary, TwoThreadsEachGetTheirOwn) {
  const std::string a = rectangle(100), b = rectangle(100) + rectangle(400) + rectangle(700);
  m->writeFile(u"C:\\forms\\a.ovl", recording(a));
  m->writeFile(u"C:\\forms\\b.ovl", recording(b));
  auto run = [&](const char* path, const std::string& expected, int* wrong) {
    for (int i = 0; i < 200; ++i) {
      DWORD size = getSize(path);
      std::this_thread::yield();
      std::string buf(size, '\0');
      if (size != expected.size() || read(reinterpret_cast<BYTE*>(buf.data())) != 1 || buf != expected) ++*wrong;
    }
  };
  int wrongA = 0, wrongB = 0;
  std::thread ta(run, "C:\\forms\\a.ovl", std::cref(a), &wrongA), tb(run, "C:\\forms\\b.ovl", std::cref(b), &wrongB);
  ta.join();
  tb.join();
  EXPECT_EQ(wrongA, 0);
  EXPECT_EQ(wrongB, 0);
}

// A page that downloads its font and draws text with it, as Ghostscript's
// pages do: the font defined, a character downloaded, selected, drawn.
std::string textDrawing(const char* font = "@") {
  std::string bytes;
  pclxl::Writer w(bytes);
  test::defineFont(w, font);
  test::downloadChar(w, font, 'A');
  w.ubyteArray(font, pclxl::attr::FontName)
      .real32(100, pclxl::attr::CharSize)
      .uint16(0, pclxl::attr::SymbolSet)
      .op(pclxl::op::SetFont);
  w.xy(pclxl::DataType::UInt16, 600, 600, pclxl::attr::Point).op(pclxl::op::SetCursor);
  w.ubyteArray("A", pclxl::attr::TextData).op(pclxl::op::Text);
  return bytes;
}

// Pages that play `form` as the rendering side frames it, in a stream of
// their own, each also defining the document's own font "@" in the first.
std::string pagesPlaying(const std::string& form, int pages) {
  test::PxlBuilder b;
  b.begin();
  for (int k = 0; k < pages; ++k)
    b.page([&](pclxl::Writer& w) {
      std::string content = pclxl::headerLine("form") + form;
      w.op(pclxl::op::PushGS).ubyteArray("KQXLForm", pclxl::attr::StreamName).op(pclxl::op::BeginStream);
      w.uint32(static_cast<uint32_t>(content.size()), pclxl::attr::StreamDataLength)
          .op(pclxl::op::ReadStream)
          .data(content);
      w.op(pclxl::op::EndStream).ubyteArray("KQXLForm", pclxl::attr::StreamName).op(pclxl::op::ExecStream);
      w.ubyteArray("KQXLForm", pclxl::attr::StreamName).op(pclxl::op::RemoveStream).op(pclxl::op::PopGS);
      if (k == 0) w.out() += textDrawing("@");
    });
  return b.end().bytes();
}

// A form with text plays on every page next to the document's fonts: the
// fonts its page defines become the form's own and go again at its end.
TEST_F(OverlayLibrary, FormFontsAreTheFormsOwnAndEndWithIt) {
  m->writeFile(u"C:\\forms\\text.ovl", recording(textDrawing() + rectangle(100)));
  std::string form = served("C:\\forms\\text.ovl");
  std::string expected = textDrawing("KQXLForm01") + rectangle(100);
  pclxl::Writer(expected).ubyteArray("KQXLForm01", pclxl::attr::FontName).op(pclxl::op::RemoveFont);
  EXPECT_EQ(form, expected);
  auto c = test::checkBytes(pagesPlaying(form, 3));
  EXPECT_TRUE(c.problems().empty()) << c.problems()[0].message;
  // As recorded, the same page could be played once at most, and never next to the document's "@".
  auto asRecorded = test::checkBytes(pagesPlaying(textDrawing(), 2));
  ASSERT_FALSE(asRecorded.problems().empty());
  EXPECT_NE(asRecorded.problems()[0].message.find("FontNameAlreadyExists"), std::string::npos);

  // A resident font keeps its name; a font the page removes itself is not removed again.
  std::string resident;
  pclxl::Writer(resident)
      .ubyteArray("Courier         ", pclxl::attr::FontName)
      .real32(50, pclxl::attr::CharSize)
      .uint16(629, pclxl::attr::SymbolSet)
      .op(pclxl::op::SetFont);
  std::string removes = textDrawing();
  pclxl::Writer(removes).ubyteArray("@", pclxl::attr::FontName).op(pclxl::op::RemoveFont);
  m->writeFile(u"C:\\forms\\resident.ovl", recording(resident + removes));
  std::string expectedRemoves = textDrawing("KQXLForm01");
  pclxl::Writer(expectedRemoves).ubyteArray("KQXLForm01", pclxl::attr::FontName).op(pclxl::op::RemoveFont);
  EXPECT_EQ(served("C:\\forms\\resident.ovl"), resident + expectedRemoves);
  // Defined again after its removal: removed again at the end.
  m->writeFile(u"C:\\forms\\again.ovl", recording(removes + textDrawing()));
  std::string again = served("C:\\forms\\again.ovl");
  EXPECT_EQ(again, expectedRemoves + expectedRemoves);
  auto twice = test::checkBytes(pagesPlaying(again, 2));
  EXPECT_TRUE(twice.problems().empty()) << twice.problems()[0].message;
}

// A recorded page whose text uses a font the document downloaded before its
// first page is no form: the library says why, where the job's traces are.
TEST_F(OverlayLibrary, AFormWhoseFontIsOutsideItsPageIsRefusedAndSaidSo) {
  std::string setAndDraw;
  pclxl::Writer(setAndDraw)
      .ubyteArray("@", pclxl::attr::FontName)
      .real32(100, pclxl::attr::CharSize)
      .uint16(0, pclxl::attr::SymbolSet)
      .op(pclxl::op::SetFont);
  pclxl::Writer(setAndDraw).ubyteArray("A", pclxl::attr::TextData).op(pclxl::op::Text);
  m->writeFile(u"C:\\forms\\header-font.ovl", recording(setAndDraw));
  EXPECT_EQ(getSize("C:\\forms\\header-font.ovl"), 0u);
  auto traces = m->traces();
  ASSERT_FALSE(traces.empty());
  EXPECT_EQ(traces.back(),
            u"KQXLO: \"C:\\forms\\header-font.ovl\" is no form that can be printed: SetFont of font "
            u"\"@\", which is neither defined nor resident (the printer substitutes Courier).\n");
  // A file that gives no form at all says which of the reasons it is.
  const std::pair<const char*, const char16_t*> unread[] = {
      {"C:\\forms\\none.ovl",
       u"KQXLO: \"C:\\forms\\none.ovl\" is no form that can be printed: there is no such file.\n"},
      {"forms\\x.ovl", u"KQXLO: \"forms\\x.ovl\" is no form that can be printed: it is not a full path to a file.\n"},
      {"C:\\forms\\", u"KQXLO: \"C:\\forms\\\" is no form that can be printed: it names a folder.\n"},
  };
  for (auto& [path, said] : unread) {
    EXPECT_EQ(getSize(path), 0u) << path;
    EXPECT_EQ(m->traces().back(), said) << path;
  }
}

// The resolution a form was drawn at, where its bitmap fonts give it.
TEST_F(OverlayLibrary, TellsTheResolutionItsFontsGive) {
  auto resolution =
      reinterpret_cast<GetOverlayResolutionFn>(reinterpret_cast<void*>(GetProcAddress(lib, "getOverlayResolution")));
  ASSERT_NE(resolution, nullptr);
  m->writeFile(u"C:\\forms\\text.ovl", recording(textDrawing() + rectangle(100)));  // a 600-dpi bitmap font
  m->writeFile(u"C:\\forms\\plain.ovl", recording(rectangle(100)));
  EXPECT_EQ(resolution("C:\\forms\\text.ovl"), 600u);
  EXPECT_EQ(resolution("C:\\forms\\plain.ovl"), 0u);
  EXPECT_EQ(resolution("C:\\forms\\none.ovl"), 0u);
  EXPECT_EQ(OverlayResolution(lib, "C:\\forms\\text.ovl"), 600u);
}

}  // namespace
