// Code pages, locale and wsprintfW as Windows has them.
#include <gtest/gtest.h>

#include "support/test_machine.h"

namespace {

struct Text : ::testing::Test {
  test::TestMachine m;
};

TEST_F(Text, AnsiCodePage1252AndShiftJis) {
  WCHAR out[16] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "Gr\xFC\xDF", -1, out, 16), 5);  // with the NUL
  EXPECT_EQ(std::u16string(out), u"Gr\u00fc\u00df");
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\x80", 1, out, 16), 1);
  EXPECT_EQ(out[0], 0x20AC);  // the euro sign of 1252

  m->setCodePage(932);
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\x93\xFA\x96\x7B", 4, out, 16), 2);
  EXPECT_EQ(std::u16string(out, 2), u"\u65e5\u672c");
  CHAR bytes[8] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u65e5", 1, bytes, 8, nullptr, nullptr), 2);
  EXPECT_EQ(std::string(bytes, 2), "\x93\xFA");
}

TEST_F(Text, SizeQueriesAndShortBuffers) {
  WCHAR out[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, nullptr, 0), 7);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, out, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, out, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  BOOL usedDefault = FALSE;
  CHAR bytes[4] = {};
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"\u65e5", 1, bytes, 4, nullptr, &usedDefault), 1);
  EXPECT_EQ(bytes[0], '?');
  EXPECT_TRUE(usedDefault);
}

TEST_F(Text, LocaleLanguageIsFourHexDigits) {
  CHAR lang[8] = {};
  m->setLocale(0x0C0A);
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTLANGUAGE, lang, 8), 5);
  EXPECT_STREQ(lang, "0c0a");
}

TEST_F(Text, WsprintfConversions) {
  WCHAR out[1100];
  wsprintfW(out, u"%s=%d [%5d|%-3d|%03d] %x %X %u %c %hs %%", u"n", -42, 7, 1, 5, 255, 255, 3000000000u, u'Z',
            "narrow");
  EXPECT_EQ(std::u16string(out), u"n=-42 [    7|1  |005] ff FF 3000000000 Z narrow %");
  std::u16string longText(2000, u'x');
  EXPECT_EQ(wsprintfW(out, u"%s", longText.c_str()), 1023);  // wsprintf's limit
}

TEST_F(Text, CaseInsensitiveCompareAndUpper) {
  EXPECT_EQ(lstrcmpiW(u"usb001", u"USB001"), 0);
  EXPECT_NE(lstrcmpW(u"usb001", u"USB001"), 0);
  WCHAR s[] = u"c:\\drivers\\abc\u00e9.dll";
  CharUpperW(s);
  EXPECT_EQ(std::u16string(s), u"C:\\DRIVERS\\ABC\u00c9.DLL");
}

}  // namespace
