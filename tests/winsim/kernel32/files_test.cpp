// What Windows does with files, and winsim with it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;

struct Files : ::testing::Test {
  test::TestMachine m;

  HANDLE open(LPCWSTR path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

TEST_F(Files, LookupIgnoresCaseAsOnNtfs) {
  m->writeFile(u"C:\\Data\\Report.TXT", "abc");
  HANDLE h = open(u"c:\\DATA\\report.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[8] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &read, nullptr));
  EXPECT_EQ(read, 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_TRUE(CloseHandle(h));
}

// Names found once are remembered; whatever renames, removes or adds them
// outside winsim afterwards must still be seen.
TEST_F(Files, LookupSeesFoldersChangedOutsideWinsim) {
  auto attributes = [](LPCWSTR path) { return GetFileAttributesW(path); };
  m->writeFile(u"C:\\Data\\Report.TXT", "abc");
  ASSERT_EQ(attributes(u"C:\\DATA\\REPORT.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  fs::path folder = m->hostPath(u"C:\\Data");
  fs::rename(folder / "Report.TXT", folder / "report.txt");
  EXPECT_EQ(attributes(u"C:\\DATA\\REPORT.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(m->hostPath(u"C:\\DATA\\REPORT.TXT"), folder / "report.txt");

  fs::rename(folder, folder.parent_path() / "dATA");
  EXPECT_EQ(attributes(u"C:\\data\\report.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  fs::remove(folder.parent_path() / "dATA" / "report.txt");
  EXPECT_EQ(attributes(u"C:\\DATA\\REPORT.TXT"), INVALID_FILE_ATTRIBUTES);
  m->writeFile(u"C:\\DATA\\Report.txt", "x");
  EXPECT_EQ(attributes(u"C:\\Data\\report.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

  // More names than are remembered at once (4,096) still resolve, each to
  // its own file.
  fs::path many = m->hostPath(u"C:\\") / "Many";
  auto name = [](int i) { return "F" + std::to_string(i / 64) + "/n" + std::to_string(i); };
  for (int i = 0; i < 4200; ++i) {
    fs::create_directories((many / name(i)).parent_path());
    std::ofstream(many / name(i)) << i;
  }
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 4200; i += round ? 97 : 1) {
      std::u16string path =
          u"C:\\MANY\\f" + winsim::fromUtf8(std::to_string(i / 64)) + u"\\N" + winsim::fromUtf8(std::to_string(i));
      HANDLE h = open(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
      ASSERT_NE(h, INVALID_HANDLE_VALUE) << i;
      char buf[8] = {};
      DWORD read = 0;
      EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &read, nullptr));
      EXPECT_EQ(std::string(buf, read), std::to_string(i));
      EXPECT_TRUE(CloseHandle(h));
    }
  }
}

TEST_F(Files, CreationDispositionsAndTheirErrors) {
  EXPECT_EQ(open(u"C:\\nothere.txt", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(open(u"C:\\no\\dir\\x.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  HANDLE h = open(u"C:\\new.txt", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written;
  WriteFile(h, "12345", 5, &written, nullptr);
  CloseHandle(h);
  EXPECT_EQ(open(u"C:\\new.txt", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

  h = open(u"C:\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);  // truncates, says it existed
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);

  EXPECT_EQ(open(u"C:\\WINDOWS", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Files, ShareModesRefuseConflictingOpens) {
  HANDLE a = open(u"C:\\shared.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  EXPECT_EQ(open(u"C:\\SHARED.TXT", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(DeleteFileW(u"C:\\shared.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(a);

  // A reader that shares reading admits another reader, but not a writer.
  HANDLE r1 = open(u"C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  HANDLE r2 = open(u"C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_NE(r2, INVALID_HANDLE_VALUE);
  EXPECT_EQ(open(u"C:\\shared.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  CloseHandle(r1);
  CloseHandle(r2);
  EXPECT_TRUE(DeleteFileW(u"C:\\shared.txt"));
  EXPECT_FALSE(DeleteFileW(u"C:\\shared.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Writes wait in their handle; nothing that looks at the file may miss
// them: another handle's reads and writes, sizes, seeks, host paths.
// Another program's handle counts in share modes as any other, and not as
// one the component left open.
TEST_F(Files, AFileAnotherProgramHoldsKeepsItsShareMode) {
  m->writeFile(u"C:\\forms\\f.ovl", "form");
  ASSERT_TRUE(m->holdFile(u"C:\\forms\\f.ovl", GENERIC_READ, FILE_SHARE_READ));
  EXPECT_EQ(m->snapshot().handles, 0u);
  EXPECT_EQ(open(u"C:\\forms\\f.ovl", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  HANDLE reader = open(u"C:\\FORMS\\F.OVL", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  // The reader shares no writing: the other program cannot take it now.
  DWORD error = 0;
  EXPECT_FALSE(m->holdFile(u"C:\\forms\\f.ovl", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(reader);
  m->releaseFile(u"C:\\forms\\f.ovl");
  HANDLE writer = open(u"C:\\forms\\f.ovl", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  CloseHandle(writer);
  EXPECT_FALSE(m->holdFile(u"C:\\forms\\none.ovl", GENERIC_READ, FILE_SHARE_READ, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A device name opens the device in whatever folder it stands, and nothing
// on the disk: the null device, a port that waits, no console.
TEST_F(Files, DeviceNamesOpenDevicesNotFiles) {
  m->setPortSilence(std::chrono::milliseconds(50));
  m->makeFolder(u"C:\\forms");
  char buf[16];
  DWORD n = 99;
  HANDLE null = open(u"C:\\forms\\nul.ovl", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(null, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(WriteFile(null, "abc", 3, &n, nullptr));
  EXPECT_EQ(n, 3u);
  EXPECT_TRUE(ReadFile(null, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(GetFileSize(null, nullptr), 0u);
  HANDLE again = open(u"NUL", GENERIC_READ, 0, OPEN_EXISTING);  // shared by all
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  CloseHandle(null);
  std::error_code ec;
  EXPECT_FALSE(fs::exists(m->hostPath(u"C:\\forms\\nul.ovl"), ec));

  for (const char16_t* port : {u"C:\\forms\\COM\u00B9.ovl", u"C:\\forms\\lpt2 .ovl", u"C:\\x\\AUX", u"\\\\.\\COM3"}) {
    SCOPED_TRACE(winsim::toUtf8(port));
    HANDLE h = open(reinterpret_cast<LPCWSTR>(port), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(n, 0u);
    // A port takes one handle at a time.
    EXPECT_EQ(open(reinterpret_cast<LPCWSTR>(port), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(h);
  }
  // The spooler has no console.
  for (const char16_t* console : {u"C:\\forms\\CONIN$.ovl", u"CONOUT$", u"C:\\forms\\con"})
    EXPECT_EQ(open(reinterpret_cast<LPCWSTR>(console), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
  // Names that are no devices: COM0, a folder on the way, \\?\.
  for (const char16_t* file : {u"C:\\forms\\COM0.ovl", u"C:\\forms\\COM10", u"\\\\?\\C:\\forms\\NUL"}) {
    HANDLE h = open(reinterpret_cast<LPCWSTR>(file), GENERIC_WRITE, 0, CREATE_NEW);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << winsim::toUtf8(file);
    CloseHandle(h);
  }
  EXPECT_EQ(open(u"C:\\COM1\\x.ovl", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(m->snapshot().handles, 0u);
}

TEST_F(Files, WrittenBytesAreSeenBeforeTheyReachTheHost) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE w = open(u"C:\\spool.tmp", GENERIC_READ | GENERIC_WRITE, share, CREATE_ALWAYS);
  HANDLE r = open(u"C:\\spool.tmp", GENERIC_READ | GENERIC_WRITE, share, OPEN_EXISTING);
  ASSERT_NE(r, INVALID_HANDLE_VALUE);
  std::string expected;
  DWORD n;
  for (int i = 0; i < 100; ++i) {  // pieces of 7 KiB, past a few pieces of 256 KiB
    std::string piece(7 * 1024 + i, static_cast<char>('a' + i % 26));
    ASSERT_TRUE(WriteFile(w, piece.data(), static_cast<DWORD>(piece.size()), &n, nullptr));
    EXPECT_EQ(n, piece.size());
    expected += piece;
  }
  EXPECT_EQ(GetFileSize(w, nullptr), expected.size());
  std::string big(300 * 1024, 'Z');  // larger than a piece: straight through
  WriteFile(w, big.data(), static_cast<DWORD>(big.size()), &n, nullptr);
  expected += big;
  WriteFile(w, "tail", 4, &n, nullptr);
  expected += "tail";

  std::string read(expected.size() + 10, '\0');
  ASSERT_TRUE(ReadFile(r, read.data(), static_cast<DWORD>(read.size()), &n, nullptr));
  EXPECT_EQ(n, expected.size());
  EXPECT_TRUE(read.substr(0, n) == expected);
  EXPECT_EQ(test::TestMachine::slurpHost(m->hostPath(u"C:\\spool.tmp")).size(), expected.size());

  // The other handle overwrites the start; the first appends after it.
  SetFilePointer(r, 0, nullptr, FILE_BEGIN);
  WriteFile(r, "XY", 2, &n, nullptr);
  WriteFile(w, "end", 3, &n, nullptr);
  EXPECT_EQ(SetFilePointer(w, 0, nullptr, FILE_END), expected.size() + 3);
  SetFilePointer(w, 0, nullptr, FILE_BEGIN);
  char head[2];
  ReadFile(w, head, 2, &n, nullptr);
  EXPECT_EQ(std::string(head, 2), "XY");
  CloseHandle(r);
  CloseHandle(w);
  std::string host = test::TestMachine::slurpHost(m->hostPath(u"C:\\spool.tmp"));
  EXPECT_TRUE(host == "XY" + expected.substr(2) + "end");
}

// Bytes a handle holds back reach the host when it closes, and a profile
// call on the file reads them while it is still open.
TEST_F(Files, HeldBackWritesReachTheHostAtCloseAndProfileCalls) {
  HANDLE h = open(u"C:\\held.ini", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const std::string ini = "[Section]\r\nKey=Value\r\n";
  DWORD n;
  ASSERT_TRUE(WriteFile(h, ini.data(), static_cast<DWORD>(ini.size()), &n, nullptr));
  char16_t value[16] = {};
  EXPECT_EQ(GetPrivateProfileStringW(u"Section", u"Key", u"", value, 16, u"C:\\held.ini"), 5u);
  EXPECT_EQ(std::u16string(value), u"Value");
  ASSERT_TRUE(WriteFile(h, "tail", 4, &n, nullptr));
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ(test::TestMachine::slurpHost(m->hostPath(u"C:\\held.ini")), ini + "tail");
}

// Reads come through a block kept by the handle; what is written to the
// file afterwards, through any handle or on the host, is read, not the block.
TEST_F(Files, ReadsSeeWhatWasWrittenSince) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  std::string bytes(600 * 1024, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  m->writeFile(u"C:\\pages.bin", bytes);
  HANDLE r = open(u"C:\\pages.bin", GENERIC_READ, share, OPEN_EXISTING);
  HANDLE w = open(u"C:\\pages.bin", GENERIC_WRITE, share, OPEN_EXISTING);
  auto readAt = [&](DWORD at, DWORD n) {
    std::string out(n, '\0');
    DWORD got = 0;
    SetFilePointer(r, static_cast<LONG>(at), nullptr, FILE_BEGIN);
    EXPECT_TRUE(ReadFile(r, out.data(), n, &got, nullptr));
    out.resize(got);
    return out;
  };
  // Backwards, in pieces that straddle the blocks, and past the end.
  for (DWORD at = 550 * 1024; at > 21030; at -= 21030)
    for (DWORD piece = 0; piece < 21030; piece += 8192)
      ASSERT_TRUE(readAt(at + piece, 8192) == bytes.substr(at + piece, 8192)) << at + piece;
  EXPECT_EQ(readAt(600 * 1024 - 10, 100).size(), 10u);

  DWORD n;
  EXPECT_TRUE(readAt(69998, 11) == bytes.substr(69998, 11));  // the block now held
  SetFilePointer(w, 70000, nullptr, FILE_BEGIN);
  WriteFile(w, "written", 7, &n, nullptr);
  EXPECT_EQ(readAt(69998, 11), bytes.substr(69998, 2) + "written" + bytes.substr(70007, 2));
  EXPECT_TRUE(readAt(0, 8) == bytes.substr(0, 8));
  m->writeFile(u"C:\\pages.bin", "host");
  EXPECT_EQ(readAt(0, 8), "host");
  CloseHandle(r);
  CloseHandle(w);
}

TEST_F(Files, FilePointerMovesAndRefusesNegativePositions) {
  HANDLE h = open(u"C:\\seek.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  DWORD n;
  WriteFile(h, "0123456789", 10, &n, nullptr);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_CURRENT), 5u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_END), 9u);
  EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  char c = 0;
  SetFilePointer(h, 4, nullptr, FILE_BEGIN);
  ReadFile(h, &c, 1, &n, nullptr);
  EXPECT_EQ(c, '4');
  // Reading at the end succeeds with nothing read.
  SetFilePointer(h, 0, nullptr, FILE_END);
  EXPECT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  CloseHandle(h);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, TempFileNamesAreUniqueAndCreated) {
  WCHAR dir[MAX_PATH];
  EXPECT_EQ(GetTempPathW(MAX_PATH, dir), 16u);
  EXPECT_EQ(std::u16string(dir), u"C:\\WINDOWS\\TEMP\\");
  EXPECT_EQ(GetTempPathW(4, dir), 17u);  // the size needed, with the terminator

  WCHAR a[MAX_PATH], b[MAX_PATH];
  UINT ua = GetTempFileNameW(u"C:\\WINDOWS\\TEMP\\", u"ZQPX", 0, a);
  UINT ub = GetTempFileNameW(u"C:\\WINDOWS\\TEMP", u"ZQP", 0, b);
  EXPECT_NE(ua, 0u);
  EXPECT_NE(ua, ub);
  std::u16string name(a);
  EXPECT_EQ(name.rfind(u"C:\\WINDOWS\\TEMP\\ZQP", 0), 0u);  // three letters of the prefix
  EXPECT_EQ(name.substr(name.size() - 4), u".tmp");
  EXPECT_EQ(m->tempFiles().size(), 2u);  // unique number 0 creates the file

  WCHAR c[MAX_PATH];
  EXPECT_EQ(GetTempFileNameW(u"C:\\WINDOWS\\TEMP\\", u"ZQP", 0x1A2B, c), 0x1A2Bu);
  EXPECT_EQ(std::u16string(c), u"C:\\WINDOWS\\TEMP\\ZQP1A2B.tmp");
  EXPECT_EQ(m->tempFiles().size(), 2u);  // a given number creates nothing
  EXPECT_EQ(GetTempFileNameW(u"C:\\missing\\", u"ZQP", 0, c), 0u);
  DeleteFileW(a);
  DeleteFileW(b);
  EXPECT_TRUE(m->tempFiles().empty());
}

TEST_F(Files, SearchPathAddsTheExtensionOnlyToNamesWithout) {
  m->writeFile(u"C:\\drv\\KQXLEN.INI", "");
  WCHAR out[MAX_PATH];
  LPWSTR part = nullptr;
  DWORD n = SearchPathW(u"C:\\DRV\\", u"KQXLEN", u".INI", MAX_PATH, out, &part);
  EXPECT_EQ(n, 17u);
  EXPECT_EQ(std::u16string(out), u"C:\\DRV\\KQXLEN.INI");
  EXPECT_EQ(std::u16string(part), u"KQXLEN.INI");
  EXPECT_EQ(SearchPathW(u"C:\\DRV\\", u"KQXLEN.TXT", u".INI", MAX_PATH, out, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(SearchPathW(u"C:\\DRV\\", u"KQXLEN", u".INI", 5, out, nullptr), 18u);  // needed, with NUL
}

TEST_F(Files, InjectedFaultsFailWithRealisticCodes) {
  m->addFault({"CreateFileW", 1, false, u"*\\TEMP\\*"});
  HANDLE other = open(u"C:\\elsewhere.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  CloseHandle(other);
  EXPECT_EQ(open(u"C:\\WINDOWS\\TEMP\\x.tmp", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  HANDLE h = open(u"C:\\WINDOWS\\TEMP\\x.tmp", GENERIC_WRITE | GENERIC_READ, 0, CREATE_ALWAYS);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);  // the nth call only

  m->addFault({"WriteFile", 2});
  DWORD n = 99;
  EXPECT_TRUE(WriteFile(h, "a", 1, &n, nullptr));
  EXPECT_FALSE(WriteFile(h, "b", 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  m->addFault({"ReadFile", 1, true});
  EXPECT_FALSE(ReadFile(h, &n, 1, &n, nullptr));
  EXPECT_FALSE(ReadFile(h, &n, 1, &n, nullptr));
  m->clearFaults();
  CloseHandle(h);
  DeleteFileW(u"C:\\WINDOWS\\TEMP\\x.tmp");

  m->addFault({"GlobalAlloc", 1});
  EXPECT_EQ(GlobalAlloc(GMEM_FIXED, 16), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(Files, BookkeepingSeesWhatIsLeftOpen) {
  HANDLE h = open(u"C:\\WINDOWS\\TEMP\\left.tmp", GENERIC_WRITE, 0, CREATE_ALWAYS);
  void* block = GlobalAlloc(GMEM_FIXED, 10);
  std::string leaks = test::leaksOf(m.machine());
  EXPECT_NE(leaks.find("handle: file C:\\WINDOWS\\TEMP\\left.tmp"), std::string::npos) << leaks;
  EXPECT_NE(leaks.find("block: 10 bytes"), std::string::npos) << leaks;
  EXPECT_NE(leaks.find("tempfile: C:\\WINDOWS\\TEMP\\left.tmp"), std::string::npos) << leaks;
  CloseHandle(h);
  GlobalFree(block);
  DeleteFileW(u"C:\\WINDOWS\\TEMP\\left.tmp");
  EXPECT_EQ(test::leaksOf(m.machine()), "");
}

// A name is what Windows makes of it: trailing dots and spaces go from the
// last name, forward slashes are separators, characters no name may hold are
// refused, an 8.3 name reaches its file, and \\localhost\C$ is drive C:.
TEST_F(Files, NamesAreWhatWindowsMakesOfThem) {
  m->writeFile(u"C:\\Data\\zuvav.dll", "module");
  for (LPCWSTR same : {u"C:\\Data\\zuvav.dll.", u"C:\\Data\\zuvav.dll ", u"C:\\Data\\zuvav.dll. . ",
                       u"C:/Data/ZUVAV.DLL", u"C:\\Data.\\zuvav.dll", u"\\\\localhost\\C$\\Data\\zuvav.dll",
                       u"\\\\127.0.0.1\\c$\\data\\zuvav.dll.", u"\\\\.\\C:\\Data\\zuvav.dll"}) {
    SCOPED_TRACE(winsim::toUtf8(same));
    EXPECT_EQ(GetFileAttributesW(same), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    HANDLE h = open(same, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));  // the one file, not a new one
    CloseHandle(h);
  }
  EXPECT_EQ(fs::directory_iterator(m->hostPath(u"C:\\Data"))->path().filename(), "zuvav.dll");

  WCHAR full[MAX_PATH];
  LPWSTR name = nullptr;
  EXPECT_EQ(GetFullPathNameW(u"c:/Data/./x/../zuvav.dll. ", MAX_PATH, full, &name), 17u);
  EXPECT_EQ(std::u16string(full), u"c:\\Data\\zuvav.dll");
  EXPECT_EQ(std::u16string(name), u"zuvav.dll");
  EXPECT_GT(GetFullPathNameW(u"\\\\localhost\\C$\\Data\\..\\x", MAX_PATH, full, nullptr), 0u);
  EXPECT_EQ(std::u16string(full), u"\\\\localhost\\C$\\x");  // the share is the root

  for (LPCWSTR bad : {u"C:\\Data\\a\rb.ovl", u"C:\\Data\\a<b", u"C:\\Data\\a>b", u"C:\\Data\\a\"b", u"C:\\Data\\a|b",
                      u"C:\\Data\\a?b", u"C:\\Data\\*.dll", u"C:\\Data\\a.ovl:stream", u"\\\\?\\C:\\Data\\..\\x",
                      u"\\\\?\\C:/Data/x"}) {
    SCOPED_TRACE(winsim::toUtf8(bad));
    EXPECT_EQ(open(bad, GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  }
  EXPECT_EQ(open(u"\\\\fileserver\\forms\\a.ovl", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));

  // \\?\ keeps a trailing dot: that is another name.
  HANDLE dotted = open(u"\\\\?\\C:\\Data\\zuvav.dll.", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(dotted, INVALID_HANDLE_VALUE);
  CloseHandle(dotted);

  m->writeFile(u"C:\\Program Files\\Long Folder Name\\settings.ini", "[a]");
  m->setShortName(u"C:\\Program Files", u"PROGRA~1");
  m->setShortName(u"C:\\Program Files\\Long Folder Name", u"LONGFO~1");
  EXPECT_EQ(GetFileAttributesW(u"C:\\progra~1\\LONGFO~1\\settings.ini"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  WCHAR longName[MAX_PATH];
  EXPECT_GT(GetLongPathNameW(u"C:\\PROGRA~1\\longfo~1", longName, MAX_PATH), 0u);
  EXPECT_EQ(std::u16string(longName), u"C:\\Program Files\\Long Folder Name");
  EXPECT_EQ(GetLongPathNameW(u"C:\\PROGRA~1\\new.ovl", longName, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
