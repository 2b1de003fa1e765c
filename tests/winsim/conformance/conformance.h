// The Win32 behaviour the component and its modules rely on, checked by
// calling Win32 alone: the same tests run on the simulated machine, under
// Wine and on Windows. A test stands for what Windows does; where one of
// them rightly differs, it asks Known() by name, and kDifferences says who
// differs and why, in one place.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace conformance {

using WString = std::basic_string<WCHAR>;
using WView = std::basic_string_view<WCHAR>;

enum class Platform { Winsim, Wine, Windows };
Platform Running();
const char* NameOf(Platform p);

// Differences the suite accepts. Each names the platforms that behave
// otherwise and why; a test skips the check where Known() says so.
enum class Difference {
  ProfileMissingKeyLastError,  // the last error after a key a profile file lacks
  WineMessageBoxOwner,         // Wine shows a box whose owner is no window
  NoBestFit,                   // a character without a mapping, and a look-alike
  WineRegistryAddsNul,         // a string stored without its NUL
  WineNegativeLengths,         // a source length below -1
  WineUtf8DefaultChar,         // a default character given for UTF-8
  WineStrokePath,              // stroking a path on Wine's PostScript printer
};
bool Known(Difference d);

// The printer the winspool and printer DC tests use: the machine's own on
// winsim; on Wine and Windows the one named by KQXL_CONFORMANCE_PRINTER, or
// none (those tests are skipped).
const WString& PrinterName();

// A folder of the temp folder for one test, removed with what it holds.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const WString& path() const { return path_; }
  // A path in it; the file is removed with the folder.
  WString file(WView name);

 private:
  WString path_;
  std::vector<WString> files_;
};

// Whole files through CreateFileW.
bool WriteBytes(const WString& path, std::string_view bytes);
std::string ReadBytes(const WString& path);

// UTF-8 test texts as UTF-16 (no Win32 call: the harness must not stand on
// what it tests).
WString W(std::string_view utf8);
std::string Utf8(WView s);

}  // namespace conformance

// A last error as the test reads it, with its number.
#define EXPECT_LAST_ERROR(e) EXPECT_EQ(static_cast<DWORD>(e), GetLastError())
