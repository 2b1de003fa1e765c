// Manual duplex: the backs (even pages) in a first pass, the sheets put back
// into the multi-purpose tray, the fronts (odd pages) in a second pass.
#include "spool/duplex.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "config/driverfiles.h"
#include "config/printerinfo.h"
#include "job/lifecycle.h"
#include "spool/replay.h"
#include "support/guards.h"
#include "support/text.h"

namespace {

constexpr LPCWSTR kDuplex = TEXT("DUPLEX");

// The pages of every other position from `first` up to `last`, ascending
// or descending.
std::vector<INT> EveryOther(INT first, INT last, bool descending) {
  std::vector<INT> pages;
  for (INT k = first; k <= last; k += 2) pages.push_back(k);
  if (descending) std::reverse(pages.begin(), pages.end());
  return pages;
}

// First pass: the backs, pages 2, 4, ... With an odd count the last page
// has no back.
std::vector<INT> BackSides(INT n, bool descending) { return EveryOther(2, n - n % 2, descending); }

// Second pass: the fronts 1, 3, ... of the sheets the first pass printed,
// each on the sheet that carries its back. An odd last page goes on a sheet
// of its own, after them.
std::vector<INT> FrontSides(INT n, bool descending) {
  INT paired = n - n % 2;
  std::vector<INT> pages = EveryOther(1, paired - 1, descending);
  if (n % 2) pages.push_back(n);
  return pages;
}

// A pass: its prefix before the first page; a pass without pages sends
// nothing, since a prefix belongs to the BeginPage that follows it.
bool SendPass(Schedule& out, int prefix, const std::vector<INT>& pages) {
  if (pages.empty()) return true;
  if (!out.prefix(prefix)) return false;
  for (INT k : pages)
    if (!out.page(k)) return false;
  return true;
}

void ShowUtilityDialog(HANDLE hPrinter) {
  WCHAR base[MAX_PATH] = {}, directory[MAX_PATH] = {};
  if (!GetDrvFileNameAndPath(hPrinter, base, directory, TEXT(".DLL"))) return;
  WCHAR path[2 * MAX_PATH + 8];
  wsprintfW(path, TEXT("%s%s%s"), directory, base, TEXT("m.dll"));
  ModuleHandle library(LoadLibraryW(path));
  if (!library.get()) return;
  using ShowUtilsDialogFn = void(WINAPI*)();
  auto show =
      reinterpret_cast<ShowUtilsDialogFn>(reinterpret_cast<void*>(GetProcAddress(library.get(), "ShowUtilsDialog")));
  if (show) show();
}

}  // namespace

INT ManualDuplexMode(HANDLE hPrinter) {
  WCHAR ini[MAX_PATH] = {};
  GetMultiLangINIFile(hPrinter, ini);
  return ReadIniInt(ini, kDuplex, TEXT("MD_ManualDuplex"), 0);
}

void ShowManualDuplexMsg(INT, HANDLE hPrinter) {
  INT mode = ManualDuplexMode(hPrinter);
  if (mode == 1) {
    WCHAR ini[MAX_PATH] = {}, message[256], caption[256];
    GetMultiLangINIFile(hPrinter, ini);
    ReadIniText(ini, kDuplex, TEXT("MD_Message"), TEXT("Re-insert the sheets into Multi-purpose tray"), message, 256);
    ReadIniText(ini, kDuplex, TEXT("MD_CAPTION"), TEXT("Manual Duplex"), caption, 256);
    ShowMessageBox(message, caption, MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | 0x10000 /* MB_SETFOREGROUND */);
  } else if (mode == 0) {
    ShowUtilityDialog(hPrinter);
  }
}

// The INI file names the page below the driver folder: names joined by
// backslashes, none of them a way out of it. (No name names the folder,
// which opens as no file.)
bool IsBelowDriverFolder(WideView name) {
  if (name.empty()) return true;
  if (name.find_first_of(TEXT(":/")) != WideView::npos) return false;
  if (name.front() == TEXT('\\')) name.remove_prefix(1);
  for (size_t at = 0; at <= name.size();) {
    size_t end = std::min(name.find(TEXT('\\'), at), name.size());
    WideView part = name.substr(at, end - at);
    if (part.empty() || part == TEXT(".") || part == TEXT("..")) return false;
    at = end + 1;
  }
  return true;
}

void PrintInstructionPage(JobData* pData, BYTE* pBuffer) {
  auto lost = [] { Trace(TEXT("The instruction page could not be read; it is not printed.\n")); };
  HANDLE hPrinter = pData->hPrinter;
  WCHAR ini[MAX_PATH] = {}, name[MAX_PATH] = {}, path[MAX_PATH];
  GetMultiLangINIFile(hPrinter, ini);
  SHORT orientation = pData->Settings.dm.dmOrientation;
  if (orientation == DMORIENT_PORTRAIT) ReadIniText(ini, kDuplex, TEXT("INSTRUCT_PORT"), TEXT(""), name, MAX_PATH);
  if (orientation == DMORIENT_LANDSCAPE) ReadIniText(ini, kDuplex, TEXT("INSTRUCT_LAND"), TEXT(""), name, MAX_PATH);
  if (!IsBelowDriverFolder(WideView(name))) {
    Trace(TEXT("The instruction page's file is not one in the driver folder; it is not printed.\n"));
    return;
  }
  // The name may start with its backslash, as the INI files have it.
  WideView below(name);
  if (!below.empty() && below.front() == TEXT('\\')) below.remove_prefix(1);
  WCHAR relative[MAX_PATH];
  CopyWide(relative, below);
  if (!DriverFilePath(hPrinter, relative, path)) return lost();
  FileHandle file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return lost();
  DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE) return lost();
  CopyFileToPrinter(pData, file.get(), pBuffer, size);
}

namespace {

// The queue's user may have deleted the job where no write would tell: as
// its document ended, or while the user was being asked.
bool CancelledInQueue(JobData* pData) {
  if (!JobCancelled(pData) && JobDeletedInQueue(pData->hPrinter, pData->dwJobId)) CancelJob(pData);
  return JobCancelled(pData);
}

}  // namespace

BOOL EndDocumentAndPrompt(JobData* pData, INT nSheets, bool prompt) {
  HANDLE hPrinter = pData->hPrinter;
  WCHAR name[MAX_PATH] = {};
  if (!NotifySpooler(hPrinter, 1, pData->dwJobId, name)) {
    TraceFormat(TEXT("EndDocPrinter failed between the passes (error %lu).\n"), GetLastError());
    return FALSE;
  }
  if (CancelledInQueue(pData)) return FALSE;
  if (prompt) ShowManualDuplexMsg(nSheets, hPrinter);
  if (CancelledInQueue(pData)) return FALSE;
  if (!NotifySpooler(hPrinter, 0, pData->dwJobId, name)) {
    if (RefusedAsCancelled(pData)) return FALSE;
    TraceFormat(TEXT("StartDocPrinterW failed between the passes (error %lu).\n"), GetLastError());
    return FALSE;
  }
  return TRUE;
}

void SecondPassLost() {
  ShowMessage(TEXT("Failed to start the second pass of the job; its other sides are not printed."), MB_ICONERROR);
}

bool PrintsFronts(WORD wBackSideOrder) {
  if (wBackSideOrder == BACK_SIDES_ASCENDING || wBackSideOrder == BACK_SIDES_DESCENDING) return true;
  TraceFormat(
      TEXT("wBackSideOrder %u is neither 0 nor 1: the fronts are not printed, and no re-insert prompt is shown.\n"),
      static_cast<UINT>(wBackSideOrder));
  return false;
}

DWORD NotifySpooler(HANDLE hPrinter, SHORT nMode, DWORD dwJobId, WCHAR (&szJobName)[MAX_PATH]) {
  if (nMode == 1) {
    // The second document takes the first one's name; "Untitled" when it
    // has none or it cannot be read.
    WideView name;
    GlobalBlock<JOB_INFO_1W> info = MyGetJob(hPrinter, dwJobId);
    if (info && info->pDocument) name = WideView(info->pDocument);
    CopyWide(szJobName, name.empty() ? WideView(TEXT("Untitled")) : name);
    return EndDocPrinter(hPrinter);
  }
  DOC_INFO_1W doc{szJobName, nullptr, const_cast<LPWSTR>(TEXT("RAW"))};
  return StartDocPrinterW(hPrinter, 1, reinterpret_cast<LPBYTE>(&doc));
}

// Odd page counts: every page once, the last alone on a sheet of its own
// at the end of the second pass.
void DoManualDuplex(const ReplayInputs& in, Schedule& out) {
  INT n = in.pages;
  if (!BeginPages(n, true, out)) return;
  if (in.instructionPage && !out.instructionPage()) return;
  if (!SendPass(out, 0, BackSides(n, in.firstPassDescending))) return;
  if (in.duplexMode == 1 && !(out.trailer() && out.nextDocument(n / 2, in.fronts) && out.header(true))) return;
  if (in.fronts && !SendPass(out, 1, FrontSides(n, in.backSideOrder == BACK_SIDES_DESCENDING))) return;
  if (!out.trailer()) return;
  if (in.duplexMode == 0) out.afterJob(n / 2, in.fronts);
}
