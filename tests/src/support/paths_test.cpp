// What a user's path may name: plain files only, never a device.
#include <gtest/gtest.h>

#include "support/api_log.h"
#include "support/paths.h"
#include "support/test_machine.h"

namespace {

std::u16string Why(const std::u16string& path) {
  LPCWSTR why = WhyNotPlainFilePath(reinterpret_cast<LPCWSTR>(path.c_str()));
  return why ? std::u16string(reinterpret_cast<const char16_t*>(why)) : u"";
}

// Every name Windows opens as a device, in every spelling it accepts, is
// refused from its name alone: no file call is made to find out.
TEST(PlainFilePath, ReservedDeviceNamesAreRefusedWithoutAFileCall) {
  test::TestMachine m;
  test::ApiLog log(m);
  const char16_t* devices[] = {// the four old names, in any case, with extensions, trailing spaces and dots
                               u"C:\\forms\\CON", u"C:\\forms\\prn.ovl", u"C:\\forms\\Aux.tar.gz",
                               u"C:\\forms\\nul .ovl", u"C:\\forms\\NUL.", u"C:\\forms\\con  ", u"C:\\forms\\NUL. .ovl",
                               // ports with a digit, zero included, and the superscripts Windows reads as digits
                               u"C:\\forms\\COM0.ovl", u"C:\\forms\\com9.ovl", u"C:\\forms\\LPT0.ovl",
                               u"C:\\forms\\lpt5", u"C:\\forms\\COM\u00B9.ovl", u"C:\\forms\\com\u00B2.ovl",
                               u"C:\\forms\\COM\u00B3", u"C:\\forms\\LPT\u00B9.ovl", u"C:\\forms\\lpt\u00B2.ovl",
                               u"C:\\forms\\LPT\u00B3 .ovl",
                               // the console
                               u"C:\\forms\\CONIN$.ovl", u"C:\\forms\\conout$", u"C:\\forms\\CONOUT$ .x",
                               // as a folder on the way, on a share too
                               u"C:\\COM1\\x.ovl", u"C:\\forms\\CONIN$\\x.ovl", u"\\\\server\\share\\LPT\u00B9\\x.ovl",
                               u"\\\\server\\share\\nul.ovl"};
  for (const char16_t* path : devices) EXPECT_EQ(Why(path), u"it names a device") << winsim::toUtf8(path);
  EXPECT_TRUE(log.calls("GetFileAttributesW").empty());
  EXPECT_TRUE(log.calls("CreateFileW").empty());
}

// Names that only look like devices are plain files, in any script.
TEST(PlainFilePath, NamesThatOnlyLookLikeDevicesAreFiles) {
  test::TestMachine m;
  for (const char16_t* path :
       {u"C:\\forms\\COM10.ovl", u"C:\\forms\\COM.ovl", u"C:\\forms\\CONSOLE.ovl", u"C:\\forms\\xNUL.ovl",
        u"C:\\forms\\LPT\u00B4.ovl", u"C:\\forms\\COM\uFF11.ovl", u"C:\\forms\\CONIN.ovl", u"C:\\forms\\CONIN$$.ovl",
        u"C:\\forms\\nul-form.ovl", u"C:\\\u30D5\u30A9\u30FC\u30E0\\\u69D8\u5F0F.ovl",
        u"C:\\\u0646\u0645\u0627\u0630\u062C\\\u05D8\u05D5\u05E4\u05E1.ovl", u"C:\\forms\\M\u1EABu.ovl"})
    EXPECT_EQ(Why(path), u"") << winsim::toUtf8(path);
}

TEST(PlainFilePath, OtherPathsThatAreNoPlainFile) {
  test::TestMachine m;
  m->writeFile(u"C:\\forms\\a.ovl", "");
  EXPECT_EQ(Why(u"C:\\forms"), u"it names a folder");
  EXPECT_EQ(Why(u"C:\\forms\\"), u"it names a folder");
  EXPECT_EQ(Why(u"C:\\forms\\a.ovl:s"), u"it names a stream of a file");
  for (const char16_t* path : {u"", u"forms\\a.ovl", u"\\forms\\a.ovl", u"\\\\.\\C:\\forms\\a.ovl",
                               u"\\\\?\\C:\\forms\\a.ovl", u"\\\\server", u"C:\\forms\\\\a.ovl"})
    EXPECT_EQ(Why(path), u"it is not a full path to a file") << winsim::toUtf8(path);
  EXPECT_EQ(Why(u"C:\\forms\\a.ovl"), u"");
  EXPECT_EQ(Why(u"C:\\forms\\new.ovl"), u"");
  m->addFault({"GetFileAttributesW", 1});
  EXPECT_EQ(Why(u"C:\\forms\\a.ovl"), u"it cannot be looked at");
}

}  // namespace
