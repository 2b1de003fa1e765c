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

std::u16string toWide(UINT cp, std::string_view bytes) {
  WCHAR out[64] = {};
  int n = MultiByteToWideChar(cp, MB_PRECOMPOSED, bytes.data(), static_cast<int>(bytes.size()), out, 64);
  return std::u16string(out, n > 0 ? n : 0);
}

std::string toBytes(UINT cp, std::u16string_view text, BOOL* usedDefault = nullptr) {
  CHAR out[64] = {};
  int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out, 64, nullptr, usedDefault);
  return std::string(out, n > 0 ? n : 0);
}

// Every ANSI code page the driver prints in, there and back: the last
// character is never held back, a mark is never composed with its letter.
TEST_F(Text, EveryCodePageThereAndBack) {
  struct Case {
    UINT cp;
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {874, "\xC5\xD1\xBA", u"\u0e25\u0e31\u0e1a"},
      {932, "\x8E\xD0\x8A\x4F\xB1", u"\u793e\u5916\uff71"},
      {936, "\xBB\xFA\xC3\xDC", u"\u673a\u5bc6"},
      {949, "\xB4\xEB\xBF\xDC\x81\x41", u"\ub300\uc678\uac02"},
      {950, "\xBE\xF7\xB1\x4B", u"\u6a5f\u5bc6"},
      {1250,
       "\xA3\xF3"
       "d\x9F",
       u"\u0141\u00f3d\u017a"},
      {1251, "\xD1\xE5\xEA", u"\u0421\u0435\u043a"},
      {1253, "\xC5\xCC\xD0", u"\u0395\u039c\u03a0"},
      {1254, "G\xDDZL\xDD", u"G\u0130ZL\u0130"},
      {1255, "\xF1\xE5\xE3\xE9", u"\u05e1\u05d5\u05d3\u05d9"},
      {1256, "\xD3\xD1\xED", u"\u0633\u0631\u064a"},
      {1257, "Slapt\xE0", u"Slapt\u0105"},
      {1258, "BA\xD2N NH\xC1P", u"BA\u0309N NH\u00c1P"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.cp);
    EXPECT_EQ(toWide(c.cp, c.bytes), c.text);
    EXPECT_EQ(toBytes(c.cp, c.text), c.bytes);
  }
  // A precomposed letter 1258 lacks is not written decomposed: Windows has
  // no such byte.
  BOOL usedDefault = FALSE;
  EXPECT_EQ(toBytes(1258, u"\u1ea2", &usedDefault), "?");
  EXPECT_TRUE(usedDefault);
}

// Bytes as Windows reads them: a lead byte cut off at the end or before a
// NUL, an invalid pair, the unassigned bytes and the user-defined rows.
TEST_F(Text, WhatTheTablesLackReadsAsWindowsReadsIt) {
  EXPECT_EQ(toWide(932, "a\x93"), u"a\u30fb");
  EXPECT_EQ(toWide(936, std::string("\xBB\0A", 3)), std::u16string(u"?\0A", 3));
  EXPECT_EQ(toWide(949, "\xC9\x41"), u"?");  // a pair, though no character
  EXPECT_EQ(toWide(1252, "\x81\x8D"), u"\u0081\u008d");
  EXPECT_EQ(toWide(1255, "\xCA\xD9"), u"\u05ba\uf88d");
  EXPECT_EQ(toWide(874, "\xDB\xFF"), u"\uf8c1\uf8c8");
  EXPECT_EQ(toWide(936, "\xAA\xA1\xA1\x40\xA2\xE3"), u"\ue000\ue4c6\ue76c");
  EXPECT_EQ(toWide(950, "\x81\x40\xFA\x40"), u"\ueeb8\ue000");
  EXPECT_EQ(toBytes(936, u"\ue000\ue76c"), "\xAA\xA1\xA2\xE3");
  EXPECT_EQ(toBytes(1252, u"\u0081"), "\x81");
  WCHAR out[4];
  EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "a\x93", 2, out, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
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
