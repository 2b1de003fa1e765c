// The suite's set-up: a fresh simulated machine here; on Wine and Windows
// the machine as it is, with a printer for the printer tests.
#include "conformance.h"

#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <unistd.h>

#include <winsim/machine.h>

#include <filesystem>
#include <memory>
#else
#include <winspool.h>
#endif

namespace conformance {

namespace {

struct DifferenceRow {
  Difference difference;
  std::vector<Platform> where;
  const char* why;
};

const DifferenceRow kDifferences[] = {
    {Difference::ProfileMissingKeyLastError,
     {Platform::Wine},
     "Windows leaves the last error as it was (Windows 7 set ERROR_FILE_NOT_FOUND); Wine sets 0"},
    {Difference::WineMessageBoxOwner, {Platform::Wine}, "Wine shows a box whose owner is not a window"},
    {Difference::NoBestFit,
     {Platform::Winsim},
     "winsim has no best-fit tables: a character without a mapping is the default character"},
    {Difference::WineRegistryAddsNul,
     {Platform::Wine},
     "Windows returns a string stored without its NUL as it is; Wine adds the NUL when it fits"},
    {Difference::WineNegativeLengths,
     {Platform::Wine},
     "Windows refuses a source length below -1 with ERROR_INVALID_PARAMETER; Wine takes it as -1"},
    {Difference::WineUtf8DefaultChar,
     {Platform::Wine},
     "Windows refuses a default character for UTF-8 with ERROR_INVALID_PARAMETER; Wine ignores it"},
    {Difference::WineStrokePath, {Platform::Wine}, "Wine's PostScript driver cannot stroke a path"},
};

WString g_printer;

}  // namespace

Platform Running() {
#ifndef _WIN32
  return Platform::Winsim;
#else
  static const Platform p = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") ? Platform::Wine : Platform::Windows;
  }();
  return p;
#endif
}

const char* NameOf(Platform p) {
  switch (p) {
    case Platform::Winsim: return "winsim";
    case Platform::Wine: return "Wine";
    case Platform::Windows: return "Windows";
  }
  return "?";
}

bool Known(Difference d) {
  for (const DifferenceRow& row : kDifferences) {
    if (row.difference != d) continue;
    for (Platform p : row.where) {
      if (p != Running()) continue;
      ::testing::Test::RecordProperty("known_difference", row.why);
      return true;
    }
  }
  return false;
}

const WString& PrinterName() { return g_printer; }

WString W(std::string_view s) {
  WString out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (int k = 1; k < n && i + static_cast<size_t>(k) < s.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3F);
    i += static_cast<size_t>(n);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<WCHAR>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<WCHAR>(cp));
    }
  }
  return out;
}

std::string Utf8(WView s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size()) cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

TempFolder::TempFolder() {
  WCHAR temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  EXPECT_GT(n, 0u);
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("kqxl-") + (t ? t->name() : "suite");
  path_ = WString(temp, n) + W(name);
  CreateDirectoryW(path_.c_str(), nullptr);
  path_ += TEXT("\\");
}

TempFolder::~TempFolder() {
  for (auto& f : files_) {
    DeleteFileW(f.c_str());
  }
  RemoveDirectoryW(path_.substr(0, path_.size() - 1).c_str());
}

WString TempFolder::file(WView name) {
  WString p = path_ + WString(name);
  files_.push_back(p);
  return p;
}

bool WriteBytes(const WString& path, std::string_view bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

std::string ReadBytes(const WString& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(cannot be opened)";
  std::string bytes;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  CloseHandle(h);
  return bytes;
}

}  // namespace conformance

#ifndef _WIN32

// A fresh simulated machine from the default image, for the whole run; at
// the ANSI code page KQXL_CONFORMANCE_ACP names (932: a Japanese machine),
// as Wine runs under LANG=ja_JP.UTF-8.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/kqxl-conformance-XXXXXX";
  fs::path dir = mkdtemp(pattern);
  winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, dir / "machine");
  int rc;
  {
    winsim::Machine machine(dir / "machine");
    if (const char* acp = std::getenv("KQXL_CONFORMANCE_ACP"); acp && std::strcmp(acp, "932") == 0) {
      machine.setCodePage(932);
      machine.setLocale(0x0411);
    }
    conformance::g_printer = TEXT("KQ PCL6 Laser");
    rc = RUN_ALL_TESTS();
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return rc;
}

#else

namespace {

// Under Wine, a printer on Wine's own PostScript driver (its files copied to
// the driver folder beforehand), printing to files.
void AddWinePrinter(const WCHAR* name) {
  DRIVER_INFO_3W driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<WCHAR*>(L"Wine PostScript Driver");
  driver.pDriverPath = const_cast<WCHAR*>(L"wineps.drv");
  driver.pDataFile = const_cast<WCHAR*>(L"generic.ppd");
  driver.pConfigFile = const_cast<WCHAR*>(L"wineps.drv");
  AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver));
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<WCHAR*>(name);
  info.pPortName = const_cast<WCHAR*>(L"FILE:");
  info.pDriverName = driver.pName;
  info.pPrintProcessor = const_cast<WCHAR*>(L"WinPrint");
  info.pDatatype = const_cast<WCHAR*>(L"RAW");
  if (HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) ClosePrinter(h);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (const wchar_t* name = _wgetenv(L"KQXL_CONFORMANCE_PRINTER")) {
    conformance::g_printer = name;
  } else if (conformance::Running() == conformance::Platform::Wine) {
    conformance::g_printer = L"KQXL Conformance";
    AddWinePrinter(conformance::g_printer.c_str());
  }
  std::printf("conformance: on %s, code page %u, printer \"%s\"\n", conformance::NameOf(conformance::Running()),
              GetACP(), conformance::Utf8(conformance::g_printer).c_str());
  return RUN_ALL_TESTS();
}

#endif
