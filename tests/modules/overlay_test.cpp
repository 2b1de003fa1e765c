// The overlay library as the component calls it.
#include <gtest/gtest.h>

#include "support/test_machine.h"
#include "watermark/overlaylib.h"

namespace {

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
  void TearDown() override {
    FreeLibrary(lib);
  }
};

TEST_F(OverlayLibrary, ServesTheRecordedFile) {
  m->writeFile(u"C:\\forms\\letterhead.ovl", "\x61recorded page\x60");
  ASSERT_EQ(getSize("C:\\forms\\letterhead.ovl"), 15u);
  std::string buf(15, '\0');
  EXPECT_EQ(read(reinterpret_cast<BYTE*>(buf.data())), 1u);
  EXPECT_EQ(buf, "\x61recorded page\x60");
}

TEST_F(OverlayLibrary, MissingOrUnreadableFileGivesNothing) {
  EXPECT_EQ(getSize("C:\\forms\\none.ovl"), 0u);
  BYTE b[4];
  EXPECT_EQ(read(b), 0u);
  EXPECT_EQ(getSize(""), 0u);
  m->writeFile(u"C:\\forms\\f.ovl", "abc");
  ASSERT_EQ(getSize("C:\\forms\\f.ovl"), 3u);
  m->addFault({"ReadFile", 1});
  EXPECT_EQ(read(b), 0u);
  m->deleteFile(u"C:\\forms\\f.ovl");
  EXPECT_EQ(read(b), 0u);
}

}  // namespace
