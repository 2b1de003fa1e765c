// kernel32: files and share modes, profile files, code pages, modules,
// memory, locks and strings, as the component and its modules call them.
#include <cstring>

#include "conformance.h"

namespace conformance {
namespace {

constexpr DWORD kUntouched = 0xDEADBEEF;

HANDLE Open(const WString& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

// A handle closed when the test's scope ends.
struct Handle {
  HANDLE h;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE && h) CloseHandle(h);
  }
  bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

bool Exists(const WString& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// ---- files ----------------------------------------------------------------

TEST(Files, DispositionsAndTheirErrors) {
  TempFolder dir;
  WString f = dir.file(TEXT("a.bin"));
  SetLastError(kUntouched);
  {
    Handle h(Open(f, GENERIC_WRITE, 0, OPEN_ALWAYS));
    ASSERT_TRUE(h.ok());
    EXPECT_LAST_ERROR(0);  // made
  }
  {
    Handle h(Open(f, GENERIC_WRITE, 0, OPEN_ALWAYS));
    ASSERT_TRUE(h.ok());
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
  }
  {
    Handle h(Open(f, GENERIC_WRITE, 0, CREATE_ALWAYS));
    ASSERT_TRUE(h.ok());
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
  }
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(f, GENERIC_WRITE, 0, CREATE_NEW));
  EXPECT_LAST_ERROR(ERROR_FILE_EXISTS);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir.path() + TEXT("missing.bin"), GENERIC_READ, 0, OPEN_EXISTING));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir.path() + TEXT("no\\such.bin"), GENERIC_WRITE, 0, CREATE_ALWAYS));
  EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(dir.path() + TEXT("missing.bin"), GENERIC_WRITE, 0, TRUNCATE_EXISTING));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  // A folder is not a file.
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            Open(dir.path().substr(0, dir.path().size() - 1), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
  EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(TEXT(""), GENERIC_READ, 0, OPEN_EXISTING));
  EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
}

TEST(Files, TruncateAndCreateAlwaysEmptyTheFile) {
  TempFolder dir;
  WString f = dir.file(TEXT("t.bin"));
  ASSERT_TRUE(WriteBytes(f, "0123456789"));
  { Handle h(Open(f, GENERIC_WRITE, 0, TRUNCATE_EXISTING)); }
  EXPECT_EQ("", ReadBytes(f));
  ASSERT_TRUE(WriteBytes(f, "0123456789"));
  { Handle h(Open(f, GENERIC_READ, 0, OPEN_ALWAYS)); }
  EXPECT_EQ("0123456789", ReadBytes(f));  // OPEN_ALWAYS keeps it
}

// Either side's share mode must allow the other's access.
TEST(Files, ShareModesDecideASecondOpen) {
  struct Row {
    DWORD access1, share1, access2, share2;
    bool opens;
  };
  const DWORD R = GENERIC_READ, Wr = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;
  const Row rows[] = {
      {R, SR, R, SR, true},
      {R, SR, Wr, SR, false},
      {R, SR, R, SR | SW, true},
      {R, 0, R, SR, false},
      {Wr, SR, R, SR, false},
      {Wr, SR, R, SR | SW, true},
      {Wr, SW, R, SR | SW, false},
      {Wr, SR | SW, Wr, SR | SW, true},
      {R | Wr, SR | SW, R, SR, false},
      {R, SR | SW | SD, DELETE, SR | SW, true},
      {R, SR | SW, DELETE, SR | SW | SD, false},
      {0, 0, R | Wr, 0, true},  // a handle that may neither read nor write is in no one's way
  };
  TempFolder dir;
  WString f = dir.file(TEXT("share.bin"));
  ASSERT_TRUE(WriteBytes(f, "x"));
  int i = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(i++);
    Handle first(Open(f, r.access1, r.share1, OPEN_EXISTING));
    ASSERT_TRUE(first.ok());
    SetLastError(kUntouched);
    Handle second(Open(f, r.access2, r.share2, OPEN_EXISTING));
    EXPECT_EQ(r.opens, second.ok());
    if (!r.opens) {
      EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
    }
  }
}

TEST(Files, ReadWriteSeekAndSize) {
  TempFolder dir;
  WString f = dir.file(TEXT("rw.bin"));
  Handle h(Open(f, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS));
  ASSERT_TRUE(h.ok());
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h.h, "0123456789", 10, &n, nullptr));
  EXPECT_EQ(10u, n);
  DWORD high = kUntouched;
  EXPECT_EQ(10u, GetFileSize(h.h, &high));
  EXPECT_EQ(0u, high);
  EXPECT_EQ(10u, SetFilePointer(h.h, 0, nullptr, FILE_CURRENT));
  EXPECT_EQ(4u, SetFilePointer(h.h, -6, nullptr, FILE_END));
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h.h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(6u, n);
  EXPECT_EQ(std::string("456789"), std::string(buf, n));
  // At the end a read succeeds with nothing.
  ASSERT_TRUE(ReadFile(h.h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(0u, n);
  // Past the end the size stays until a write; the gap reads as zeros.
  EXPECT_EQ(12u, SetFilePointer(h.h, 12, nullptr, FILE_BEGIN));
  EXPECT_EQ(10u, GetFileSize(h.h, nullptr));
  ASSERT_TRUE(WriteFile(h.h, "AB", 2, &n, nullptr));
  EXPECT_EQ(14u, GetFileSize(h.h, nullptr));
  SetFilePointer(h.h, 9, nullptr, FILE_BEGIN);
  ASSERT_TRUE(ReadFile(h.h, buf, 5, &n, nullptr));
  EXPECT_EQ(std::string("9\0\0AB", 5), std::string(buf, n));
  // Before the start: refused, the pointer where it was.
  SetLastError(kUntouched);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(h.h, -1, nullptr, FILE_BEGIN));
  EXPECT_LAST_ERROR(ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(14u, SetFilePointer(h.h, 0, nullptr, FILE_CURRENT));
  // A write of nothing succeeds and changes nothing.
  ASSERT_TRUE(WriteFile(h.h, "", 0, &n, nullptr));
  EXPECT_EQ(0u, n);
  EXPECT_EQ(14u, GetFileSize(h.h, nullptr));
}

TEST(Files, AHandleDoesOnlyWhatItsAccessAllows) {
  TempFolder dir;
  WString f = dir.file(TEXT("access.bin"));
  ASSERT_TRUE(WriteBytes(f, "abc"));
  char buf[4];
  DWORD n = kUntouched;
  {
    Handle h(Open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_FALSE(WriteFile(h.h, "x", 1, &n, nullptr));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
  }
  {
    Handle h(Open(f, GENERIC_WRITE, 0, OPEN_EXISTING));
    EXPECT_FALSE(ReadFile(h.h, buf, sizeof buf, &n, nullptr));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ("abc", ReadBytes(f));
}

TEST(Files, ClosingAndDeleting) {
  TempFolder dir;
  WString f = dir.file(TEXT("del.bin"));
  ASSERT_TRUE(WriteBytes(f, "abc"));
  {
    Handle h(Open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_FALSE(DeleteFileW(f.c_str()));  // open without FILE_SHARE_DELETE
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
  }
  EXPECT_TRUE(DeleteFileW(f.c_str()));
  EXPECT_FALSE(Exists(f));
  EXPECT_FALSE(DeleteFileW(f.c_str()));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteFileW((dir.path() + TEXT("no\\such.bin")).c_str()));
  EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(DeleteFileW(dir.path().c_str()));  // a folder
  EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
  // FILE_FLAG_DELETE_ON_CLOSE: gone with its last handle.
  {
    Handle h(Open(f, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE));
    ASSERT_TRUE(h.ok());
    EXPECT_TRUE(Exists(f));
  }
  EXPECT_FALSE(Exists(f));
}

TEST(Files, AttributesAndTimes) {
  TempFolder dir;
  WString f = dir.file(TEXT("attr.bin"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(f.c_str()));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir.path() + TEXT("no\\such")).c_str()));
  EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
  DWORD folder = GetFileAttributesW(dir.path().c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, folder);
  EXPECT_TRUE(folder & FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_TRUE(WriteBytes(f, "abc"));
  DWORD file = GetFileAttributesW(f.c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, file);
  EXPECT_FALSE(file & FILE_ATTRIBUTE_DIRECTORY);
  Handle h(Open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
  FILETIME created{}, written{};
  ASSERT_TRUE(GetFileTime(h.h, &created, nullptr, &written));
  EXPECT_NE(0u, written.dwHighDateTime);
  ULONGLONG c = (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  ULONGLONG w = (ULONGLONG(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  EXPECT_LE(c, w + 20000000);  // within the file system's resolution
}

// Names in other scripts are names like any other.
TEST(Files, NamesBeyondLatin) {
  TempFolder dir;
  for (const char* name :
       {"帳票.ovl", "表单.ovl", "양식.ovl", "טופס.ovl", "نموذج.ovl", "แบบฟอร์ม.ovl", "biểu mẫu.ovl"}) {
    SCOPED_TRACE(name);
    WString f = dir.file(W(name));
    ASSERT_TRUE(WriteBytes(f, name));
    EXPECT_EQ(name, ReadBytes(f));
    WCHAR full[MAX_PATH];
    WCHAR* part = nullptr;
    DWORD n = GetFullPathNameW(f.c_str(), MAX_PATH, full, &part);
    EXPECT_EQ(f, WString(full, n));
    ASSERT_NE(nullptr, part);
    EXPECT_EQ(W(name), WString(part));
  }
}

TEST(Files, FullPathNames) {
  WCHAR out[MAX_PATH];
  WCHAR* part = nullptr;
  DWORD n = GetFullPathNameW(TEXT("C:\\a\\b\\..\\.\\c.txt"), MAX_PATH, out, &part);
  EXPECT_EQ(WString(TEXT("C:\\a\\c.txt")), WString(out, n));
  EXPECT_EQ(WString(TEXT("c.txt")), WString(part));
  n = GetFullPathNameW(TEXT("C:/a/b/"), MAX_PATH, out, &part);
  EXPECT_EQ(WString(TEXT("C:\\a\\b\\")), WString(out, n));
  EXPECT_EQ(nullptr, part);  // a folder's path has no file part
  // Too small: the size it needs, with its NUL.
  WCHAR small[4] = {};
  EXPECT_EQ(11u, GetFullPathNameW(TEXT("C:\\a\\c.txt"), 4, small, nullptr));
}

TEST(Files, LongPathNames) {
  TempFolder dir;
  WString f = dir.file(TEXT("long name.bin"));
  WCHAR out[MAX_PATH];
  EXPECT_EQ(0u, GetLongPathNameW(f.c_str(), out, MAX_PATH));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(WriteBytes(f, "x"));
  DWORD n = GetLongPathNameW(f.c_str(), out, MAX_PATH);
  EXPECT_EQ(f.size(), n);
  EXPECT_EQ(0, lstrcmpiW(f.c_str(), out));  // the folders' case may be the disk's
  WCHAR small[4];
  EXPECT_EQ(f.size() + 1, GetLongPathNameW(f.c_str(), small, 4));
}

TEST(Files, TempAndWindowsFolders) {
  WCHAR temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  ASSERT_GT(n, 3u);
  EXPECT_EQ(TEXT('\\'), temp[n - 1]);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(temp));
  WCHAR small[2];
  EXPECT_EQ(n + 1, GetTempPathW(2, small));
  WCHAR windows[MAX_PATH];
  n = GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_EQ(0, lstrcmpiW(windows, TEXT("C:\\WINDOWS")));
  EXPECT_EQ(n + 1, GetWindowsDirectoryW(small, 2));
}

TEST(Files, TempFileNames) {
  TempFolder dir;
  WCHAR name[MAX_PATH];
  UINT unique = GetTempFileNameW(dir.path().c_str(), TEXT("KQX"), 0, name);
  ASSERT_NE(0u, unique);
  WString made(name);
  dir.file(made.substr(dir.path().size()));
  EXPECT_TRUE(Exists(made));  // made, empty
  EXPECT_EQ("", ReadBytes(made));
  WString expected = dir.path() + TEXT("KQX");
  EXPECT_EQ(expected, made.substr(0, expected.size()));
  EXPECT_EQ(WString(TEXT(".tmp")), made.substr(made.size() - 4));
  // A number given is used as it is, and nothing is made.
  ASSERT_EQ(0x1234u, GetTempFileNameW(dir.path().c_str(), TEXT("KQXLONG"), 0x1234, name));
  EXPECT_EQ(dir.path() + TEXT("KQX1234.tmp"), WString(name));
  EXPECT_FALSE(Exists(name));
  EXPECT_EQ(0u, GetTempFileNameW((dir.path() + TEXT("no-such")).c_str(), TEXT("KQX"), 0, name));
  EXPECT_LAST_ERROR(ERROR_DIRECTORY);
}

TEST(Files, SearchPath) {
  TempFolder dir;
  WString f = dir.file(TEXT("found.ini"));
  ASSERT_TRUE(WriteBytes(f, "x"));
  WCHAR out[MAX_PATH];
  WCHAR* part = nullptr;
  WString folder = dir.path().substr(0, dir.path().size() - 1);
  DWORD n = SearchPathW(folder.c_str(), TEXT("FOUND.INI"), nullptr, MAX_PATH, out, &part);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(0, lstrcmpiW(out, f.c_str()));
  n = SearchPathW(folder.c_str(), TEXT("found"), TEXT(".ini"), MAX_PATH, out, &part);
  EXPECT_GT(n, 0u);
  EXPECT_EQ(0u, SearchPathW(folder.c_str(), TEXT("lost.ini"), nullptr, MAX_PATH, out, &part));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  WCHAR small[3];
  EXPECT_EQ(f.size() + 1, SearchPathW(folder.c_str(), TEXT("found.ini"), nullptr, 3, small, nullptr));
}

TEST(Files, TheNullDevice) {
  for (const WCHAR* name : {TEXT("NUL"), TEXT("\\\\.\\NUL")}) {
    Handle h(Open(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    ASSERT_TRUE(h.ok());
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h.h, "abc", 3, &n, nullptr));
    EXPECT_EQ(3u, n);
    char buf[4];
    EXPECT_TRUE(ReadFile(h.h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(0u, n);
  }
}

// ---- profile files ----------------------------------------------------------

WString ReadProfile(const WString& file, const WCHAR* section, const WCHAR* key, const WCHAR* def = TEXT("dflt"),
                    DWORD size = 256) {
  std::vector<WCHAR> out(size + 1, TEXT('#'));
  DWORD n = GetPrivateProfileStringW(section, key, def, out.data(), size, file.c_str());
  return WString(out.data(), n);
}

TEST(Profiles, EveryLineEnd) {
  TempFolder dir;
  WString f = dir.file(TEXT("ends.ini"));
  for (const char* text : {"[s]\r\nname1=val1\r\nname2=val2\r\n", "[s]\nname1=val1\nname2=val2\n",
                           "[s]\rname1=val1\rname2=val2\r", "[s]\r\nname1=val1\rname2=val2\n"}) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(WriteBytes(f, text));
    EXPECT_EQ(WString(TEXT("val1")), ReadProfile(f, TEXT("s"), TEXT("name1")));
    EXPECT_EQ(WString(TEXT("val2")), ReadProfile(f, TEXT("s"), TEXT("name2")));
  }
}

TEST(Profiles, BlanksQuotesCaseAndComments) {
  TempFolder dir;
  WString f = dir.file(TEXT("rules.ini"));
  ASSERT_TRUE(WriteBytes(f,
                         "; comment=1\r\n"
                         "  [ Sect One ]  \r\n"
                         "  Key A  =  value a  \r\n"
                         "dq=\"quoted\"\r\n"
                         "sq='single'\r\n"
                         "half=\"open\r\n"
                         "empty=\r\n"
                         "noequals\r\n"
                         ";key=a key like any other\r\n"
                         "dup=first\r\n"
                         "dup=second\r\n"
                         "[sect one]\r\n"
                         "later=second section of the name\r\n"));
  EXPECT_EQ(WString(TEXT("value a")), ReadProfile(f, TEXT("SECT ONE"), TEXT("key a")));
  EXPECT_EQ(WString(TEXT("quoted")), ReadProfile(f, TEXT("Sect One"), TEXT("dq")));
  EXPECT_EQ(WString(TEXT("single")), ReadProfile(f, TEXT("Sect One"), TEXT("sq")));
  EXPECT_EQ(WString(TEXT("\"open")), ReadProfile(f, TEXT("Sect One"), TEXT("half")));
  EXPECT_EQ(WString(), ReadProfile(f, TEXT("Sect One"), TEXT("empty")));
  // No comment syntax: a line that starts with ';' is a key like another.
  EXPECT_EQ(WString(TEXT("a key like any other")), ReadProfile(f, TEXT("Sect One"), TEXT(";key")));
  EXPECT_EQ(WString(TEXT("first")), ReadProfile(f, TEXT("Sect One"), TEXT("dup")));
  // The default loses its trailing blanks; no default is "".
  EXPECT_EQ(WString(TEXT("  d")), ReadProfile(f, TEXT("Sect One"), TEXT("missing"), TEXT("  d  ")));
  EXPECT_EQ(WString(), ReadProfile(f, TEXT("Sect One"), TEXT("missing"), nullptr));
  EXPECT_EQ(WString(TEXT("dflt")), ReadProfile(f, TEXT("comment"), TEXT("x")));
}

TEST(Profiles, ShortBuffers) {
  TempFolder dir;
  WString f = dir.file(TEXT("short.ini"));
  ASSERT_TRUE(WriteBytes(f, "[s]\r\nkey=abcdef\r\nk2=x\r\n[t]\r\n"));
  EXPECT_EQ(WString(TEXT("abc")), ReadProfile(f, TEXT("s"), TEXT("key"), TEXT(""), 4));
  EXPECT_EQ(WString(), ReadProfile(f, TEXT("s"), TEXT("key"), TEXT(""), 1));
  // A list: names ending in NULs, two at its end; cut short, size - 2.
  WCHAR list[16];
  DWORD n = GetPrivateProfileStringW(TEXT("s"), nullptr, TEXT(""), list, 16, f.c_str());
  EXPECT_EQ(WString(TEXT("key\0k2\0"), 7), WString(list, n));
  EXPECT_EQ(0, list[n]);
  n = GetPrivateProfileStringW(nullptr, nullptr, TEXT(""), list, 16, f.c_str());
  EXPECT_EQ(WString(TEXT("s\0t\0"), 4), WString(list, n));
  n = GetPrivateProfileStringW(TEXT("s"), nullptr, TEXT(""), list, 5, f.c_str());
  EXPECT_EQ(3u, n);
  EXPECT_EQ(0, list[3]);
  EXPECT_EQ(0, list[4]);
}

TEST(Profiles, KeyListsLeaveOutLinesWithoutEquals) {
  TempFolder dir;
  WString f = dir.file(TEXT("keys.ini"));
  ASSERT_TRUE(WriteBytes(f, "[s]\r\na=1\r\nlonely\r\n;c=2\r\nb=2\r\n"));
  WCHAR list[64];
  DWORD n = GetPrivateProfileStringW(TEXT("s"), nullptr, TEXT(""), list, 64, f.c_str());
  EXPECT_EQ(WString(TEXT("a\0b\0"), 4), WString(list, n));
}

TEST(Profiles, LastErrors) {
  TempFolder dir;
  WString f = dir.file(TEXT("errors.ini"));
  SetLastError(kUntouched);
  EXPECT_EQ(WString(TEXT("dflt")), ReadProfile(f, TEXT("s"), TEXT("k")));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(WriteBytes(f, "[s]\r\nk=v\r\n"));
  SetLastError(kUntouched);
  EXPECT_EQ(WString(TEXT("dflt")), ReadProfile(f, TEXT("s"), TEXT("missing")));
  if (!Known(Difference::ProfileMissingKeyLastError)) {
    EXPECT_LAST_ERROR(kUntouched);
  }
  // A folder is read as a missing file, with the open's error.
  SetLastError(kUntouched);
  EXPECT_EQ(WString(TEXT("dflt")), ReadProfile(dir.path().substr(0, dir.path().size() - 1), TEXT("s"), TEXT("k")));
  EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
  // No buffer, or none to fill: nothing, the last error as it was.
  WCHAR out[4];
  SetLastError(kUntouched);
  EXPECT_EQ(0u, GetPrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("d"), nullptr, 4, f.c_str()));
  EXPECT_EQ(0u, GetPrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("d"), out, 0, f.c_str()));
  EXPECT_LAST_ERROR(kUntouched);
  SetLastError(kUntouched);
  EXPECT_EQ(5u, GetPrivateProfileIntW(TEXT("s"), TEXT("k"), 5, (f + TEXT(".none")).c_str()));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
}

TEST(Profiles, Integers) {
  TempFolder dir;
  WString f = dir.file(TEXT("ints.ini"));
  ASSERT_TRUE(WriteBytes(f, "[s]\r\na=102abc\r\nb=-5\r\nc= 7 \r\nd=\r\ne=x1\r\nf=\"12\"\r\n"));
  const WCHAR* file = f.c_str();
  EXPECT_EQ(102u, GetPrivateProfileIntW(TEXT("s"), TEXT("a"), 9, file));
  EXPECT_EQ(static_cast<UINT>(-5), GetPrivateProfileIntW(TEXT("s"), TEXT("b"), 9, file));
  EXPECT_EQ(7u, GetPrivateProfileIntW(TEXT("s"), TEXT("c"), 9, file));
  EXPECT_EQ(9u, GetPrivateProfileIntW(TEXT("s"), TEXT("d"), 9, file));  // empty: the default
  EXPECT_EQ(0u, GetPrivateProfileIntW(TEXT("s"), TEXT("e"), 9, file));
  EXPECT_EQ(12u, GetPrivateProfileIntW(TEXT("s"), TEXT("f"), 9, file));
  EXPECT_EQ(9u, GetPrivateProfileIntW(TEXT("s"), TEXT("missing"), 9, file));
  EXPECT_EQ(9u, GetPrivateProfileIntW(TEXT("s"), TEXT("a"), 9, (f + TEXT(".none")).c_str()));
  EXPECT_EQ(0u, GetPrivateProfileIntW(nullptr, nullptr, 9, file));
}

TEST(Profiles, WritesKeepTheFileInOrder) {
  TempFolder dir;
  WString f = dir.file(TEXT("write.ini"));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("a"), TEXT("1"), f.c_str()));
  EXPECT_EQ("[s]\r\na=1\r\n", ReadBytes(f));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("b"), TEXT("2"), f.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("t"), TEXT("c"), TEXT("3"), f.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("S"), TEXT("A"), TEXT("one"), f.c_str()));
  EXPECT_EQ("[s]\r\na=one\r\nb=2\r\n[t]\r\nc=3\r\n", ReadBytes(f));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("b"), nullptr, f.c_str()));
  EXPECT_EQ(WString(TEXT("dflt")), ReadProfile(f, TEXT("s"), TEXT("b")));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("t"), nullptr, nullptr, f.c_str()));
  EXPECT_EQ(WString(TEXT("dflt")), ReadProfile(f, TEXT("t"), TEXT("c")));
  EXPECT_EQ(WString(TEXT("one")), ReadProfile(f, TEXT("s"), TEXT("a")));
}

TEST(Profiles, TextsBeyondTheCodePage) {
  TempFolder dir;
  WString ansi = dir.file(TEXT("ansi.ini"));
  WString wide = dir.file(TEXT("wide.ini"));
  ASSERT_TRUE(WriteBytes(wide, std::string("\xFF\xFE[\0s\0]\0\r\0\n\0", 12)));
  WString id = W("사용자 ユーザー 用户 משתמש مستخدم ผู้ใช้ người dùng");
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("id"), id.c_str(), wide.c_str()));
  EXPECT_EQ(id, ReadProfile(wide, TEXT("s"), TEXT("id")));
  EXPECT_EQ(std::string("\xFF\xFE", 2), ReadBytes(wide).substr(0, 2));  // still UTF-16
  if (GetACP() == 1252) {
    ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("id"), W("café 用户").c_str(), ansi.c_str()));
    EXPECT_EQ(W("café ??"), ReadProfile(ansi, TEXT("s"), TEXT("id")));
    EXPECT_EQ("[s]\r\nid=caf\xE9 ??\r\n", ReadBytes(ansi));
  }
  if (GetACP() == 932) {  // double-byte characters, read whole, cut by characters
    ASSERT_TRUE(WriteBytes(ansi, "[\x95\x5C]\r\nid=\x8E\xD0\x8A\x4F\x94\xE9\r\n"));
    EXPECT_EQ(W("社外秘"), ReadProfile(ansi, W("表").c_str(), TEXT("id")));
    EXPECT_EQ(W("社外"), ReadProfile(ansi, W("表").c_str(), TEXT("id"), TEXT(""), 3));
    ASSERT_TRUE(WritePrivateProfileStringW(W("表").c_str(), TEXT("id"), W("秘 ก").c_str(), ansi.c_str()));
    EXPECT_EQ("[\x95\x5C]\r\nid=\x94\xE9 ?\r\n", ReadBytes(ansi));
  }
}

TEST(Profiles, WriteErrors) {
  TempFolder dir;
  WString f = dir.file(TEXT("werr.ini"));
  SetLastError(kUntouched);
  EXPECT_FALSE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("v"), (dir.path() + TEXT("no\\x.ini")).c_str()));
  EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
  ASSERT_TRUE(WriteBytes(f, "[s]\r\nk=v\r\n"));
  SetLastError(kUntouched);
  EXPECT_FALSE(WritePrivateProfileStringW(nullptr, TEXT("k"), TEXT("v"), f.c_str()));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ("[s]\r\nk=v\r\n", ReadBytes(f));
  // A folder, or no name (the Windows folder), is no file to write.
  WString folder = dir.path().substr(0, dir.path().size() - 1);
  for (const WCHAR* name : {folder.c_str(), TEXT("")}) {
    SetLastError(kUntouched);
    EXPECT_FALSE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("v"), name));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
  }
  // Deleting from a file that is not there makes none.
  WString none = dir.file(TEXT("none.ini"));
  EXPECT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), nullptr, none.c_str()));
  EXPECT_FALSE(Exists(none));
}

// The profile calls open the file as any program does: another handle's
// share mode applies to them.
TEST(Profiles, ShareModesApply) {
  TempFolder dir;
  WString f = dir.file(TEXT("held.ini"));
  ASSERT_TRUE(WriteBytes(f, "[s]\r\nk=v\r\n"));
  {
    Handle reader(Open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_EQ(WString(TEXT("v")), ReadProfile(f, TEXT("s"), TEXT("k")));
    SetLastError(kUntouched);
    EXPECT_FALSE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("w"), f.c_str()));
    EXPECT_LAST_ERROR(ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ("[s]\r\nk=v\r\n", ReadBytes(f));
  {
    Handle writer(Open(f, GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_EQ(WString(TEXT("dflt")), ReadProfile(f, TEXT("s"), TEXT("k")));
  }
  {
    Handle sharing(Open(f, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("w"), f.c_str()));
  }
  EXPECT_EQ(WString(TEXT("w")), ReadProfile(f, TEXT("s"), TEXT("k")));
}

// ---- code pages -------------------------------------------------------------

std::string ToBytes(UINT cp, WView s, DWORD flags = 0, BOOL* usedDefault = nullptr, const char* def = nullptr) {
  int n = WideCharToMultiByte(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0, def, usedDefault);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) WideCharToMultiByte(cp, flags, s.data(), static_cast<int>(s.size()), &out[0], n, def, usedDefault);
  return out;
}

WString ToWide(UINT cp, std::string_view s, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
  WString out(static_cast<size_t>(n), 0);
  if (n > 0) MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

struct Sample {
  UINT cp;
  const char* utf8;
  const char* bytes;
};
const Sample kSamples[] = {
    {932, "社外秘", "\x8E\xD0\x8A\x4F\x94\xE9"},
    {936, "机密", "\xBB\xFA\xC3\xDC"},
    {949, "대외비", "\xB4\xEB\xBF\xDC\xBA\xF1"},
    {950, "機密", "\xBE\xF7\xB1\x4B"},
    {874, "ลับ", "\xC5\xD1\xBA"},
    {1255, "סודי", "\xF1\xE5\xE3\xE9"},
    {1256, "سري", "\xD3\xD1\xED"},
    {1258, "Mâ\xCC\xA3t", "M\xE2\xF2t"},  // â and a combining dot below
    {1252, "Entwurf ©", "Entwurf \xA9"},
    {CP_UTF8, "秘密 ✓", "\xE7\xA7\x98\xE5\xAF\x86 \xE2\x9C\x93"},
};

TEST(CodePages, RoundTripsInEveryScript) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.cp);
    EXPECT_EQ(W(s.utf8), ToWide(s.cp, s.bytes));
    EXPECT_EQ(std::string(s.bytes), ToBytes(s.cp, W(s.utf8)));
  }
}

TEST(CodePages, LengthsAndShortBuffers) {
  WCHAR out[8];
  // -1: the NUL is converted and counted.
  EXPECT_EQ(4, MultiByteToWideChar(932, 0,
                                   "\x8E\xD0\x8A\x4F"
                                   "a",
                                   -1, nullptr, 0));
  EXPECT_EQ(4, MultiByteToWideChar(932, 0,
                                   "\x8E\xD0\x8A\x4F"
                                   "a",
                                   -1, out, 8));
  EXPECT_EQ(0, out[3]);
  SetLastError(kUntouched);
  EXPECT_EQ(0, MultiByteToWideChar(932, 0,
                                   "\x8E\xD0\x8A\x4F"
                                   "a",
                                   -1, out, 2));
  EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
  char bytes[8];
  WString kana = W("社外");
  SetLastError(kUntouched);
  // A double-byte character does not go half into the buffer.
  EXPECT_EQ(0, WideCharToMultiByte(932, 0, kana.c_str(), 2, bytes, 3, nullptr, nullptr));
  EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(0, MultiByteToWideChar(932, 0, "ab", 0, out, 8));
  EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
  if (!Known(Difference::WineNegativeLengths)) {
    SetLastError(kUntouched);
    EXPECT_EQ(0, MultiByteToWideChar(932, 0, "ab", -2, out, 8));
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
    SetLastError(kUntouched);
    EXPECT_EQ(0, WideCharToMultiByte(932, 0, kana.c_str(), -2, bytes, 8, nullptr, nullptr));
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
  }
}

TEST(CodePages, DoubleByteCharactersCutAtTheEnd) {
  // A lead byte with nothing after it.
  WString lone = ToWide(932, "a\x82");
  ASSERT_EQ(2u, lone.size());
  EXPECT_EQ(TEXT('a'), lone[0]);
  EXPECT_NE(TEXT('a'), lone[1]);
  SetLastError(kUntouched);
  WCHAR out[8];
  EXPECT_EQ(0, MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "a\x82", 2, out, 8));
  EXPECT_LAST_ERROR(ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_TRUE(IsDBCSLeadByte('a') == FALSE);
}

TEST(CodePages, UndefinedBytesAreInvalid) {
  const struct {
    UINT cp;
    const char* bytes;
  } undefined[] = {{874, "\xDB"}, {874, "\xFC"}, {1255, "\xD9"}, {932, "\xFD"}, {949, "\xC9"}};
  for (auto& u : undefined) {
    SCOPED_TRACE(u.cp);
    WCHAR out[4];
    SetLastError(kUntouched);
    EXPECT_EQ(0, MultiByteToWideChar(u.cp, MB_ERR_INVALID_CHARS, u.bytes, 1, out, 4));
    EXPECT_LAST_ERROR(ERROR_NO_UNICODE_TRANSLATION);
  }
}

TEST(CodePages, DefaultCharacters) {
  BOOL used = FALSE;
  EXPECT_EQ("a?", ToBytes(1252, W("a用"), 0, &used));
  EXPECT_TRUE(used);
  used = FALSE;
  EXPECT_EQ("a*", ToBytes(1252, W("a用"), 0, &used, "*"));
  EXPECT_TRUE(used);
  used = TRUE;
  EXPECT_EQ("ab", ToBytes(1252, W("ab"), 0, &used));
  EXPECT_FALSE(used);
  // A double-byte default character is used whole.
  EXPECT_EQ("a\x81\x48", ToBytes(932, W("aก"), 0, nullptr, "\x81\x48"));
  // Short buffer: the unmapped character before the cut is still reported.
  char out[2];
  used = FALSE;
  WString s = W("用ab");
  EXPECT_EQ(0, WideCharToMultiByte(1252, 0, s.c_str(), 3, out, 2, nullptr, &used));
  EXPECT_TRUE(used);
  // UTF-8 has no default character.
  char wide[16];
  SetLastError(kUntouched);
  if (!Known(Difference::WineUtf8DefaultChar)) {
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, s.c_str(), 3, wide, 16, "?", nullptr));
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
  }
  if (!Known(Difference::NoBestFit)) {
    EXPECT_EQ("A", ToBytes(1252, W("Ā")));
  }
  EXPECT_EQ("?", ToBytes(1252, W("Ā"), WC_NO_BEST_FIT_CHARS));
}

TEST(CodePages, UnknownFlagsAreRefused) {
  WCHAR out[4];
  SetLastError(kUntouched);
  EXPECT_EQ(0, MultiByteToWideChar(1252, 0x1000, "a", 1, out, 4));
  EXPECT_LAST_ERROR(ERROR_INVALID_FLAGS);
  char bytes[4];
  SetLastError(kUntouched);
  EXPECT_EQ(0, WideCharToMultiByte(1252, 0x10000, TEXT("a"), 1, bytes, 4, nullptr, nullptr));
  EXPECT_LAST_ERROR(ERROR_INVALID_FLAGS);
}

TEST(CodePages, TheMachinesCodePageAndLocale) {
  UINT acp = GetACP();
  EXPECT_NE(0u, acp);
  char text[16] = {};
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTLANGUAGE, text, sizeof text);
  EXPECT_EQ(5, n);  // four hex digits and the NUL
  EXPECT_EQ(4u, strlen(text));
  EXPECT_EQ(5, GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTLANGUAGE, nullptr, 0));
  SetLastError(kUntouched);
  EXPECT_EQ(0, GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTLANGUAGE, text, 3));
  EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
  bool dbcs = acp == 932 || acp == 936 || acp == 949 || acp == 950;
  EXPECT_EQ(dbcs, IsDBCSLeadByte(0x82) != FALSE);
  EXPECT_FALSE(IsDBCSLeadByte(0x41));
}

// ---- strings, arithmetic, memory, locks -------------------------------------

TEST(Strings, LengthsCopiesAndComparisons) {
  EXPECT_EQ(0, lstrlenW(nullptr));
  EXPECT_EQ(3, lstrlenW(TEXT("abc")));
  WCHAR buf[4] = {TEXT('#'), TEXT('#'), TEXT('#'), TEXT('#')};
  EXPECT_EQ(buf, lstrcpynW(buf, TEXT("abcdef"), 4));
  EXPECT_EQ(WString(TEXT("abc")), WString(buf));
  lstrcpynW(buf, TEXT("abc"), 1);
  EXPECT_EQ(0, buf[0]);
  EXPECT_EQ(0, lstrcmpW(TEXT("EN"), TEXT("EN")));
  EXPECT_NE(0, lstrcmpW(TEXT("EN"), TEXT("en")));
  EXPECT_EQ(0, lstrcmpiW(TEXT("KQ PCL6 Laser"), TEXT("kq pcl6 LASER")));
  EXPECT_EQ(0, lstrcmpiW(W("Ünïcödé Ελλάδα").c_str(), W("üNÏCÖDÉ ΕΛΛΆΔΑ").c_str()));
  EXPECT_NE(0, lstrcmpiW(TEXT("abc"), TEXT("abd")));
  // Word order, not code order: "a" before "B".
  EXPECT_LT(lstrcmpW(TEXT("a"), TEXT("B")), 0);
  EXPECT_LT(lstrcmpiW(TEXT("a"), TEXT("B")), 0);
  EXPECT_GT(lstrcmpW(TEXT("abc"), TEXT("ab")), 0);
}

TEST(Arithmetic, MulDivRoundsAndFails) {
  EXPECT_EQ(3, MulDiv(5, 1, 2));
  EXPECT_EQ(-3, MulDiv(-5, 1, 2));
  EXPECT_EQ(2, MulDiv(7, 1, 3));
  EXPECT_EQ(600, MulDiv(300, 600, 300));
  EXPECT_EQ(-1, MulDiv(1, 1, 0));
  EXPECT_EQ(-1, MulDiv(0x7FFFFFFF, 4, 1));                            // does not fit
  EXPECT_EQ(0x7FFFFFFF, MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF));  // the product may be wide
}

TEST(Memory, GlobalBlocks) {
  HGLOBAL h = GlobalAlloc(GPTR, 1625);
  ASSERT_NE(nullptr, h);
  const unsigned char* p = static_cast<const unsigned char*>(h);
  bool zero = true;
  for (int i = 0; i < 1625; ++i) zero = zero && p[i] == 0;
  EXPECT_TRUE(zero);
  EXPECT_EQ(nullptr, GlobalFree(h));
}

TEST(Locks, CriticalSectionsAreReentrant) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  DeleteCriticalSection(&cs);
  DWORD id = GetCurrentThreadId();
  EXPECT_NE(0u, id);
  EXPECT_EQ(id, GetCurrentThreadId());
}

TEST(Errors, TheLastErrorIsKeptUntilSet) {
  SetLastError(1234);
  EXPECT_EQ(1234u, GetLastError());
  EXPECT_EQ(1234u, GetLastError());
  OutputDebugStringW(W("trace: 社外秘 ✓ עברית").c_str());
  SetLastError(0);
  EXPECT_EQ(0u, GetLastError());
}

// ---- modules ----------------------------------------------------------------

TEST(Modules, MissingModulesAndFunctions) {
  TempFolder dir;
  SetLastError(kUntouched);
  EXPECT_EQ(nullptr, LoadLibraryW((dir.path() + TEXT("NOSUCH.DLL")).c_str()));
  EXPECT_LAST_ERROR(ERROR_MOD_NOT_FOUND);
  WString text = dir.file(TEXT("NOTAMOD.DLL"));
  ASSERT_TRUE(WriteBytes(text, "this is no module"));
  SetLastError(kUntouched);
  EXPECT_EQ(nullptr, LoadLibraryW(text.c_str()));
  EXPECT_LAST_ERROR(ERROR_BAD_EXE_FORMAT);
  EXPECT_TRUE(Exists(text));
}

}  // namespace
}  // namespace conformance
