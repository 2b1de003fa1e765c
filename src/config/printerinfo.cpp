#include "config/printerinfo.h"

#include "support/guards.h"
#include "support/text.h"

namespace {

// The spooler's Get* calls: a size query that must fail with
// ERROR_INSUFFICIENT_BUFFER, then the call into a block of that size.
template <typename Query>
LPBYTE QueryInfoBlock(Query query) {
  DWORD needed = 0;
  if (query(nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return nullptr;
  GlobalBlock<BYTE> block(needed);
  if (!block) return nullptr;
  if (!query(block.get(), needed, &needed)) return nullptr;
  return block.release();
}

}  // namespace

LPBYTE MyGetPrinter(HANDLE hPrinter, DWORD dwLevel) {
  return QueryInfoBlock([&](LPBYTE buffer, DWORD size, LPDWORD needed) {
    return GetPrinterW(hPrinter, dwLevel, buffer, size, needed);
  });
}

LPBYTE MyGetPrinterDriver(HANDLE hPrinter, DWORD dwLevel) {
  return QueryInfoBlock([&](LPBYTE buffer, DWORD size, LPDWORD needed) {
    return GetPrinterDriverW(hPrinter, nullptr, dwLevel, buffer, size, needed);
  });
}

// The driver path's directory (with its backslash) and base name (without
// the pattern), both upper-cased. The pattern is looked for in the file
// name, so that directory names that contain it do not cut the path short.
BOOL GetDrvFileNameAndPath(HANDLE hPrinter, LPWSTR szBaseName, LPWSTR szDirectory, LPCWSTR szPattern) {
  if (!hPrinter || !szPattern) return FALSE;
  GlobalBlock<DRIVER_INFO_2W> info(reinterpret_cast<DRIVER_INFO_2W*>(MyGetPrinterDriver(hPrinter, 2)));
  if (!info) return FALSE;
  CopyWide(std::span(szDirectory, MAX_PATH), info->pDriverPath ? WideView(info->pDriverPath) : WideView());
  CharUpperW(szDirectory);

  WideView path(szDirectory);
  WCHAR pattern[MAX_PATH];
  CopyWide(pattern, WideView(szPattern));
  CharUpperW(pattern);
  size_t nameStart = path.find_last_of(TEXT('\\'));
  nameStart = nameStart == WideView::npos ? 0 : nameStart + 1;
  size_t at = path.find(WideView(pattern), nameStart);
  if (at == WideView::npos || at == 0 || at == nameStart) {
    SetLastError(0);
    return FALSE;
  }
  CopyWide(std::span(szBaseName, MAX_PATH), path.substr(nameStart, at - nameStart));
  szDirectory[nameStart] = 0;
  return TRUE;
}
