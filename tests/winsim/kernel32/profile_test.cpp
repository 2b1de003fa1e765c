// Windows' rules for profile (INI) files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/test_machine.h"

namespace {

struct Profiles : ::testing::Test {
  test::TestMachine m;
  WCHAR buf[64] = {};

  std::u16string get(LPCWSTR section, LPCWSTR key, LPCWSTR def = u"dflt", DWORD size = 64) {
    DWORD n = GetPrivateProfileStringW(section, key, def, buf, size, u"C:\\test.ini");
    EXPECT_EQ(n, std::char_traits<char16_t>::length(buf));
    return buf;
  }
};

TEST_F(Profiles, NamesIgnoreCaseAndBlanksAndQuotesAreTrimmed) {
  m->writeFile(u"C:\\test.ini",
               "; comment\r\n[ Duplex ]\r\n  MD_Message =  Re-insert  \r\nquoted=\"  padded  \"\r\n"
               "single='x'\r\nhalf=\"open\r\nempty=\r\n[Other]\r\nMD_Message=other\r\n");
  EXPECT_EQ(get(u"DUPLEX", u"md_message"), u"Re-insert");
  EXPECT_EQ(get(u"duplex", u"quoted"), u"  padded  ");
  EXPECT_EQ(get(u"duplex", u"single"), u"x");
  EXPECT_EQ(get(u"duplex", u"half"), u"\"open");
  EXPECT_EQ(get(u"duplex", u"empty"), u"");
  EXPECT_EQ(get(u"other", u"MD_Message"), u"other");
  EXPECT_EQ(get(u"duplex", u"; comment"), u"dflt");
}

TEST_F(Profiles, DefaultsForMissingFileSectionOrKey) {
  EXPECT_EQ(get(u"s", u"k", u"none  "), u"none");  // trailing blanks of the default go
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  m->writeFile(u"C:\\test.ini", "[s]\r\nk=v\r\n");
  EXPECT_EQ(get(u"t", u"k"), u"dflt");
  EXPECT_EQ(get(u"s", u"x", nullptr), u"");
}

TEST_F(Profiles, ValuesAreCutToTheBuffer) {
  m->writeFile(u"C:\\test.ini", "[s]\r\nk=abcdefgh\r\nn=102abc\r\nneg=-7\r\ntext=x\r\n");
  EXPECT_EQ(GetPrivateProfileStringW(u"s", u"k", u"", buf, 4, u"C:\\test.ini"), 3u);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(GetPrivateProfileIntW(u"s", u"n", 5, u"C:\\test.ini"), 102u);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntW(u"s", u"neg", 5, u"C:\\test.ini")), -7);
  EXPECT_EQ(GetPrivateProfileIntW(u"s", u"text", 5, u"C:\\test.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileIntW(u"s", u"missing", 5, u"C:\\test.ini"), 5u);
  // Listing the keys of a section: each terminated, the list doubly.
  DWORD n = GetPrivateProfileStringW(u"s", nullptr, u"", buf, 64, u"C:\\test.ini");
  EXPECT_EQ(std::u16string(buf, n), std::u16string(u"k\0n\0neg\0text\0", 13));
}

TEST_F(Profiles, SectionListsAreCutWithTwoTerminators) {
  m->writeFile(u"C:\\test.ini", "[One]\r\n[Two]\r\n[Three]\r\n");
  WCHAR list[32];
  DWORD n = GetPrivateProfileStringW(nullptr, nullptr, u"", list, 32, u"C:\\test.ini");
  EXPECT_EQ(std::u16string(list, n), std::u16string(u"One\0Two\0Three\0", 14));
  n = GetPrivateProfileStringW(nullptr, nullptr, u"", list, 6, u"C:\\test.ini");
  EXPECT_EQ(n, 4u);  // nSize - 2, as Windows reports a list that does not fit
  EXPECT_EQ(list[4], 0);
  EXPECT_EQ(list[5], 0);
}

TEST_F(Profiles, UnicodeAndAnsiFilesAreRead) {
  m->writeFile(u"C:\\test.ini", std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\xE4\0\r\0\n\0", 22));
  EXPECT_EQ(get(u"s", u"k"), u"\u00e4");
  m->writeFile(u"C:\\test.ini", "[s]\r\nk=Bl\xE4tter\r\n");  // code page 1252
  EXPECT_EQ(get(u"s", u"k"), u"Bl\u00e4tter");
}

TEST_F(Profiles, WritingCreatesFileAndSectionAndReplacesKeys) {
  EXPECT_TRUE(WritePrivateProfileStringW(u"GetUserID", u"UserID", u"alice", u"C:\\test.ini"));
  EXPECT_EQ(get(u"getuserid", u"userid"), u"alice");
  EXPECT_TRUE(WritePrivateProfileStringW(u"GETUSERID", u"userid", u"bob", u"C:\\test.ini"));
  EXPECT_TRUE(WritePrivateProfileStringW(u"GetUserID", u"Other", u"1", u"C:\\test.ini"));
  EXPECT_TRUE(WritePrivateProfileStringW(u"Second", u"k", u"v", u"C:\\test.ini"));
  EXPECT_EQ(get(u"GetUserID", u"UserID"), u"bob");
  EXPECT_EQ(get(u"Second", u"k"), u"v");
  EXPECT_TRUE(WritePrivateProfileStringW(u"GetUserID", u"Other", nullptr, u"C:\\test.ini"));
  EXPECT_EQ(get(u"GetUserID", u"Other"), u"dflt");
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", u"C:\\no\\such\\dir\\x.ini"));

  // Written again as it is, the file is left alone; a new value rewrites it.
  auto modified = [&] { return std::filesystem::last_write_time(m->hostPath(u"C:\\test.ini")); };
  auto before = modified();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(WritePrivateProfileStringW(u"GetUserID", u"userid", u"bob", u"C:\\test.ini"));
  EXPECT_EQ(modified(), before);
  EXPECT_TRUE(WritePrivateProfileStringW(u"GetUserID", u"UserID", u"carol", u"C:\\test.ini"));
  EXPECT_NE(modified(), before);
  EXPECT_EQ(get(u"GetUserID", u"UserID"), u"carol");
}

}  // namespace
