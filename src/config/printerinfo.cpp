#include "config/printerinfo.h"

#include "support/guards.h"
#include "support/text.h"

namespace {

// The spooler's Get* calls: a size query that must fail with
// ERROR_INSUFFICIENT_BUFFER, then the call into a block of that size.
template <typename Info, typename Query>
GlobalBlock<Info> QueryInfoBlock(Query query) {
  DWORD needed = 0;
  if (query(nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
  GlobalBlock<BYTE> block(needed);
  if (!block) return {};
  if (!query(block.get(), needed, &needed)) return {};
  return GlobalBlock<Info>(reinterpret_cast<Info*>(block.release()));
}

}  // namespace

GlobalBlock<PRINTER_INFO_2W> MyGetPrinter(HANDLE hPrinter) {
  return QueryInfoBlock<PRINTER_INFO_2W>(
      [&](LPBYTE buffer, DWORD size, LPDWORD needed) { return GetPrinterW(hPrinter, 2, buffer, size, needed); });
}

GlobalBlock<JOB_INFO_1W> MyGetJob(HANDLE hPrinter, DWORD dwJobId) {
  return QueryInfoBlock<JOB_INFO_1W>(
      [&](LPBYTE buffer, DWORD size, LPDWORD needed) { return GetJobW(hPrinter, dwJobId, 1, buffer, size, needed); });
}

bool JobDeletedInQueue(HANDLE hPrinter, DWORD dwJobId) {
  GlobalBlock<JOB_INFO_1W> info = MyGetJob(hPrinter, dwJobId);
  if (!info) return GetLastError() == ERROR_INVALID_PARAMETER;  // the spooler has no such job: it is gone
  return (info->Status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0;
}

GlobalBlock<DRIVER_INFO_2W> MyGetPrinterDriver(HANDLE hPrinter) {
  return QueryInfoBlock<DRIVER_INFO_2W>([&](LPBYTE buffer, DWORD size, LPDWORD needed) {
    return GetPrinterDriverW(hPrinter, nullptr, 2, buffer, size, needed);
  });
}

namespace {

// The driver path as the spooler reports it; FALSE when it cannot.
BOOL DriverPath(HANDLE hPrinter, WCHAR (&szPath)[MAX_PATH]) {
  szPath[0] = 0;
  if (!hPrinter) return FALSE;
  GlobalBlock<DRIVER_INFO_2W> info = MyGetPrinterDriver(hPrinter);
  if (!info) return FALSE;
  CopyWide(szPath, info->pDriverPath ? WideView(info->pDriverPath) : WideView());
  return TRUE;
}

size_t FileNameStart(WideView path) {
  size_t at = path.find_last_of(TEXT('\\'));
  return at == WideView::npos ? 0 : at + 1;
}

}  // namespace

BOOL DriverFolder(HANDLE hPrinter, WCHAR (&szFolder)[MAX_PATH]) {
  if (!DriverPath(hPrinter, szFolder)) return FALSE;
  size_t start = FileNameStart(WideView(szFolder));
  szFolder[start] = 0;
  return start > 0;
}

BOOL DriverFilePath(HANDLE hPrinter, LPCWSTR szName, WCHAR (&szPath)[MAX_PATH]) {
  WCHAR folder[MAX_PATH];
  szPath[0] = 0;
  return DriverFolder(hPrinter, folder) && FileInFolder(folder, szName, szPath);
}

BOOL FileInFolder(LPCWSTR szFolder, LPCWSTR szName, WCHAR (&szPath)[MAX_PATH]) {
  WideView dir(szFolder), name(szName);
  szPath[0] = 0;
  if (dir.size() + name.size() >= MAX_PATH) return FALSE;
  CopyWide(szPath, dir);
  CopyWide(std::span<WCHAR>(szPath + dir.size(), MAX_PATH - dir.size()), name);
  return TRUE;
}

// The driver path's directory (with its backslash) and base name (without
// the pattern), both upper-cased. The pattern is looked for in the file
// name, so that directory names that contain it do not cut the path short.
BOOL GetDrvFileNameAndPath(HANDLE hPrinter, WCHAR (&szBaseName)[MAX_PATH], WCHAR (&szDirectory)[MAX_PATH],
                           LPCWSTR szPattern) {
  if (!szPattern || !DriverPath(hPrinter, szDirectory)) return FALSE;
  CharUpperW(szDirectory);

  WideView path(szDirectory);
  WCHAR pattern[MAX_PATH];
  CopyWide(pattern, WideView(szPattern));
  CharUpperW(pattern);
  size_t nameStart = FileNameStart(path);
  size_t at = path.find(WideView(pattern), nameStart);
  if (at == WideView::npos || at == 0 || at == nameStart) {
    SetLastError(0);
    return FALSE;
  }
  CopyWide(szBaseName, path.substr(nameStart, at - nameStart));
  szDirectory[nameStart] = 0;
  return TRUE;
}
