// The HKEY_CURRENT_USER hive and its error codes.
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>
#include <sstream>

#include "support/test_machine.h"

namespace {

struct Registry : ::testing::Test {
  test::TestMachine m;
};

TEST_F(Registry, MissingKeysAndValuesAreFileNotFound) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\KQPrint\\KQXL", 0, KEY_QUERY_VALUE, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\KQPrint\\KQXL\\DIZ\\Overlay Data", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  BYTE data[8];
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExW(key, u"Overlay Message", nullptr, nullptr, data, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);  // a predefined key closes
}

TEST_F(Registry, QueriesReportSizesAndMoreData) {
  m->setRegistryString(u"HKCU\\Software\\KQPrint\\KQXL", u"DrvCntCode", u"GR");
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\kqprint\\kqxl", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"drvcntcode", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 6u);
  BYTE small[2];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(key, u"DrvCntCode", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(RegQueryValueExW(key, u"Nothing", nullptr, nullptr, small, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_SZ, small, 2), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(Registry, HiveIsKeptAsARegeditFile) {
  m->setRegistryString(u"HKCU\\Software\\KQPrint\\KQXL", u"Quote\"d", u"a\\b");
  m->setRegistryDword(u"HKCU\\Software\\KQPrint\\KQXL", u"Count", 26);
  std::ifstream in(m->root() / "winsim" / "registry.reg");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\KQPrint\\KQXL]\n"
            "\"Count\"=dword:0000001a\n"
            "\"Quote\\\"d\"=\"a\\\\b\"\n\n");
}

}  // namespace

namespace {

// A hive a person wrote, or regedit exported, is read when the machine starts.
TEST(RegistryFile, IsReadAtStartInEitherEncoding) {
  for (bool utf16 : {false, true}) {
    char pattern[] = "/tmp/kqxl-reg-XXXXXX";
    winsim::fs::path root = mkdtemp(pattern);
    winsim::fs::create_directories(root / "winsim");
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\KQPrint\\KQXL]\r\n"
        "\"DrvCntCode\"=\"GR\"\r\n"
        "\"Count\"=dword:0000002a\r\n"
        "\"Raw\"=hex:01,02,\\\r\n  03\r\n"
        "\"Bad\"=dword:zz\r\n"
        "@=\"default\"\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Ignored]\r\n"
        "\"x\"=\"y\"\r\n";
    std::string bytes = text;
    if (utf16) {
      bytes = "\xFF\xFE";
      for (char c : text) bytes += std::string{c, '\0'};
    }
    std::ofstream(root / "winsim" / "registry.reg", std::ios::binary) << bytes;
    {
      winsim::Machine m(root);
      HKEY key;
      ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\KQPrint\\KQXL", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
      BYTE data[32] = {};
      DWORD type, size = sizeof data;
      EXPECT_EQ(RegQueryValueExW(key, u"Count", nullptr, &type, data, &size), ERROR_SUCCESS);
      EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
      EXPECT_EQ(data[0], 42);
      size = sizeof data;
      EXPECT_EQ(RegQueryValueExW(key, u"Raw", nullptr, &type, data, &size), ERROR_SUCCESS);
      EXPECT_EQ(size, 3u);
      EXPECT_EQ(data[2], 3);
      EXPECT_EQ(RegQueryValueExW(key, u"Bad", nullptr, &type, data, &size), ERROR_FILE_NOT_FOUND);
      size = sizeof data;
      EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, data, &size), ERROR_SUCCESS);  // the default value
      RegCloseKey(key);
      EXPECT_EQ(m.registryString(u"HKCU\\Software\\KQPrint\\KQXL", u"DrvCntCode"), u"GR");
    }
    winsim::fs::remove_all(root);
  }
}

}  // namespace
