// advapi32: the registry calls the component makes on the user's key.
#include "conformance.h"

namespace conformance {
namespace {

const WCHAR kKey[] = TEXT("Software\\KQXL Conformance");

// The test's key under HKEY_CURRENT_USER, its values removed afterwards.
class TestKey {
 public:
  TestKey() {
    DWORD disposition = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &key_, &disposition));
  }
  ~TestKey() {
    for (auto& name : made_) RegDeleteValueW(key_, name.c_str());
    RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  LSTATUS set(const WString& name, DWORD type, const void* data, DWORD size) {
    made_.push_back(name);
    return RegSetValueExW(key_, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  }

 private:
  HKEY key_ = nullptr;
  std::vector<WString> made_;
};

TEST(Registry, KeysAreMadeOnceAndOpened) {
  TestKey key;
  HKEY again = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, TEXT("SOFTWARE\\kqxl conformance"), 0, nullptr, 0,
                                           KEY_READ, nullptr, &again, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(again));
  HKEY missing = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Software\\KQXL Conformance\\No such key"), 0, KEY_READ, &missing));
  EXPECT_EQ(nullptr, missing);
  HKEY opened = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &opened));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(opened));
}

TEST(Registry, StringsAndTheirSizes) {
  TestKey key;
  WString id = W("사용자-ユーザー-משתמש-ผู้ใช้-người");
  DWORD bytes = static_cast<DWORD>((id.size() + 1) * sizeof(WCHAR));
  ASSERT_EQ(ERROR_SUCCESS, key.set(TEXT("User Id"), REG_SZ, id.c_str(), bytes));
  DWORD type = 0, size = 0;
  // The size alone, with its NUL.
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), TEXT("USER ID"), nullptr, &type, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(bytes, size);
  std::vector<WCHAR> out(id.size() + 1);
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryValueExW(key.get(), TEXT("user id"), nullptr, &type, reinterpret_cast<BYTE*>(out.data()), &size));
  EXPECT_EQ(id, WString(out.data()));
  // Too small: ERROR_MORE_DATA and the size it needs.
  WCHAR small[4];
  size = sizeof small;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegQueryValueExW(key.get(), TEXT("User Id"), nullptr, &type, reinterpret_cast<BYTE*>(small), &size));
  EXPECT_EQ(bytes, size);
  // A string stored without its NUL comes back without one.
  ASSERT_EQ(ERROR_SUCCESS, key.set(TEXT("Bare"), REG_SZ, TEXT("abc"), 3 * sizeof(WCHAR)));
  WCHAR bare[8] = {TEXT('#'), TEXT('#'), TEXT('#'), TEXT('#'), TEXT('#')};
  size = sizeof bare;
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryValueExW(key.get(), TEXT("Bare"), nullptr, &type, reinterpret_cast<BYTE*>(bare), &size));
  if (!Known(Difference::WineRegistryAddsNul)) {
    EXPECT_EQ(3 * sizeof(WCHAR), size);
  }
  EXPECT_EQ(TEXT('c'), bare[2]);
}

TEST(Registry, NumbersMissingValuesAndAccess) {
  TestKey key;
  DWORD value = 0x01020304;
  ASSERT_EQ(ERROR_SUCCESS, key.set(TEXT("Number"), REG_DWORD, &value, sizeof value));
  DWORD type = 0, got = 0, size = sizeof got;
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryValueExW(key.get(), TEXT("Number"), nullptr, &type, reinterpret_cast<BYTE*>(&got), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(value, got);
  size = sizeof got;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegQueryValueExW(key.get(), TEXT("No value"), nullptr, &type, reinterpret_cast<BYTE*>(&got), &size));
  HKEY readOnly = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &readOnly));
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegSetValueExW(readOnly, TEXT("Number"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
  RegCloseKey(readOnly);
  HKEY writeOnly = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &writeOnly));
  size = sizeof got;
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegQueryValueExW(writeOnly, TEXT("Number"), nullptr, &type, reinterpret_cast<BYTE*>(&got), &size));
  RegCloseKey(writeOnly);
}

}  // namespace
}  // namespace conformance
