// The overlay library as the component calls it.
#include <gtest/gtest.h>

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
  pclxl::Writer(bytes).box(pclxl::DataType::UInt16, x, 100, x + 200, 300, pclxl::attr::BoundingBox).op(pclxl::op::Rectangle);
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
  for (const char* path : {"C:\\WINDOWS\\system32\\config\\SAM", "C:\\forms\\text.ovl", "C:\\forms\\broken.ovl",
                           "C:\\forms\\pageless.ovl", "C:\\forms\\none.ovl", "", "C:\\forms", "C:\\forms\\",
                           "\\\\.\\C:\\forms\\good.ovl", "\\\\?\\C:\\forms\\good.ovl", "C:\\forms\\good.ovl:stream",
                           "C:\\forms\\NUL", "C:\\forms\\con.ovl", "C:\\COM1\\good.ovl", "C:\\forms\\lpt9", "forms\\good.ovl",
                           "\\forms\\good.ovl"}) {
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
  m->addFault({"ReadFile", 1});
  EXPECT_EQ(read(b), 0u);
  m->writeFile(u"C:\\forms\\f.ovl", recording(rectangle(100) + rectangle(400)));
  EXPECT_EQ(read(b), 0u);  // another size than reported: nothing
  m->deleteFile(u"C:\\forms\\f.ovl");
  EXPECT_EQ(read(b), 0u);
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

}  // namespace
