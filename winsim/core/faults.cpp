// Injected faults: which calls can be failed, the error each then gives
// (one Windows documents for the call), and the rules a test or a job
// script set. Every call that writes an API log entry is a fault point.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/state.h"

namespace winsim::detail {

namespace {

struct FaultError {
  std::string_view function;
  DWORD error;
};

// Sorted by name. A failing close or free still releases what it names:
// the caller has nothing else it could do, and the machine's bookkeeping
// judges the caller, not the fault.
constexpr FaultError kFaultErrors[] = {
    {"BeginPath", ERROR_INVALID_HANDLE},
    {"CloseHandle", ERROR_INVALID_HANDLE},
    {"CreateDCW", ERROR_MOD_NOT_FOUND},  // the printer's driver module could not be loaded
    {"CreateDirectoryW", ERROR_ACCESS_DENIED},
    {"CreateFileW", ERROR_ACCESS_DENIED},
    {"CreateFontIndirectW", ERROR_NOT_ENOUGH_MEMORY},
    {"CreatePen", ERROR_NOT_ENOUGH_MEMORY},
    {"DeleteDC", ERROR_INVALID_HANDLE},
    {"DeleteFileW", ERROR_ACCESS_DENIED},
    {"DeleteObject", ERROR_INVALID_HANDLE},
    {"DisableThreadLibraryCalls", ERROR_INVALID_PARAMETER},
    {"EndDoc", ERROR_PRINT_CANCELLED},
    {"EndDocPrinter", ERROR_NOT_ENOUGH_MEMORY},
    {"EndPage", ERROR_PRINT_CANCELLED},
    {"EndPath", ERROR_INVALID_HANDLE},
    {"FreeLibrary", ERROR_INVALID_HANDLE},
    {"GetDeviceCaps", ERROR_INVALID_HANDLE},
    {"GetFileAttributesW", ERROR_ACCESS_DENIED},
    {"GetFileSize", ERROR_READ_FAULT},
    {"GetFileTime", ERROR_INVALID_HANDLE},
    {"GetFullPathNameW", ERROR_FILENAME_EXCED_RANGE},
    {"GetJobW", ERROR_INVALID_PARAMETER},  // the job is gone
    {"GetLocaleInfoA", ERROR_INVALID_PARAMETER},
    {"GetLongPathNameW", ERROR_ACCESS_DENIED},
    {"GetPath", ERROR_CAN_NOT_COMPLETE},
    {"GetPrinterDataW", ERROR_NOT_ENOUGH_MEMORY},
    {"GetPrinterDriverW", ERROR_NOT_ENOUGH_MEMORY},
    {"GetPrinterW", ERROR_NOT_ENOUGH_MEMORY},
    {"GetPrivateProfileIntW", ERROR_FILE_NOT_FOUND},  // the default comes back
    {"GetPrivateProfileStringW", ERROR_FILE_NOT_FOUND},
    {"GetProcAddress", ERROR_PROC_NOT_FOUND},
    {"GetSystemDirectoryW", ERROR_NOT_ENOUGH_MEMORY},
    {"GetTempFileNameW", ERROR_ACCESS_DENIED},
    {"GetTempPathW", ERROR_NOT_ENOUGH_MEMORY},
    {"GetTextMetricsW", ERROR_INVALID_HANDLE},
    {"GetWindowsDirectoryW", ERROR_NOT_ENOUGH_MEMORY},
    {"GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY},
    {"GlobalFree", ERROR_INVALID_HANDLE},
    {"LoadLibraryW", ERROR_MOD_NOT_FOUND},
    {"MessageBoxW", ERROR_NOT_ENOUGH_MEMORY},
    {"MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION},
    {"ReadFile", ERROR_READ_FAULT},
    {"RegCloseKey", ERROR_INVALID_HANDLE},
    {"RegCreateKeyExW", ERROR_ACCESS_DENIED},
    {"RegDeleteValueW", ERROR_ACCESS_DENIED},
    {"RegOpenKeyExW", ERROR_ACCESS_DENIED},
    {"RegQueryValueExW", ERROR_ACCESS_DENIED},
    {"RegSetValueExW", ERROR_ACCESS_DENIED},
    {"SearchPathW", ERROR_FILE_NOT_FOUND},
    {"SelectObject", ERROR_INVALID_HANDLE},
    {"SetBkMode", ERROR_INVALID_HANDLE},
    {"SetFilePointer", ERROR_SEEK},
    {"SetTextAlign", ERROR_INVALID_HANDLE},
    {"SetTextColor", ERROR_INVALID_HANDLE},
    {"StartDocPrinterW", ERROR_NOT_ENOUGH_MEMORY},
    {"StartDocW", ERROR_PRINT_CANCELLED},
    {"StartPage", ERROR_PRINT_CANCELLED},
    {"StrokePath", ERROR_INVALID_HANDLE},
    {"TextOutW", ERROR_INVALID_HANDLE},
    {"TranslateCharsetInfo", ERROR_INVALID_PARAMETER},
    {"WideCharToMultiByte", ERROR_NO_UNICODE_TRANSLATION},
    {"WriteFile", ERROR_DISK_FULL},
    {"WritePrinter", ERROR_NOT_READY},
    {"WritePrivateProfileStringW", ERROR_ACCESS_DENIED},
};

const FaultError* faultErrorOf(std::string_view function) {
  for (auto& f : kFaultErrors)
    if (f.function == function) return &f;
  return nullptr;
}

}  // namespace

bool canFail(std::string_view function) { return faultErrorOf(function) || function == "GlyphOutlines"; }

void countFaultPoint(const char* function) {
  ThreadRecord& t = threadRecord();
  std::lock_guard g(t.mu);
  auto point = t.faultPoints.find(std::string_view(function));  // no string made on every call
  if (point == t.faultPoints.end()) point = t.faultPoints.emplace(function, 0).first;
  ++point->second;
}

bool faultDue(const char* function, std::u16string_view path) {
  ThreadRecord& t = threadRecord();
  std::lock_guard g(t.mu);
  for (auto& rule : t.faults) {
    if (rule.spent || rule.plan.function != function) continue;
    if (!rule.plan.pathPattern.empty() && !globMatch(rule.plan.pathPattern, path)) continue;
    ++rule.seen;
    if (rule.plan.every || rule.seen == rule.plan.nth) {
      rule.spent = !rule.plan.every;
      ++rule.fired;
      ++t.faultsFired;
      return true;
    }
  }
  return false;
}

bool faultHits(const char* function, std::u16string_view path) {
  countFaultPoint(function);
  return faultDue(function, path);
}

// Every call asks, so the table is searched only for a fault that is due
// (the fault loop fails every call it counts, so a call missing from the
// table is found there).
bool ApiCall::fails(std::u16string_view path) {
  if (!faultDue(function_.c_str(), path)) return false;
  const FaultError* known = faultErrorOf(function_);
  if (!known) {
    std::fprintf(stderr, "winsim: %s has no error to fail with (core/faults.cpp)\n", function_.c_str());
    std::abort();
  }
  setError(known->error);
  return true;
}

}  // namespace winsim::detail
