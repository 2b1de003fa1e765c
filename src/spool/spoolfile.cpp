// The spool file: jobs that need the whole job first are stored here, with
// a page index, and replayed at the end of the document.
#include "spool/spoolfile.h"

#include <cstring>

#include "booklet/record.h"
#include "spooler/messages.h"
#include "support/guards.h"
#include "support/text.h"
#include "watermark/insertion.h"

DWORD ReplayFlagsFor(const KQDEVMODE& s) {
  DWORD flags = 0;
  if (s.wMediaType == 3 && s.wOhpMode > 0) flags |= FLAG_OHP;
  if (s.wCollate == 1 && s.dm.dmCopies > 1 && s.wPrinterCopies == 0) flags |= FLAG_COLLATE;
  if (s.wReverseOrder != 0) flags |= FLAG_REVERSE;
  if (s.wManualDuplex != 0) flags |= FLAG_MANUAL_DUPLEX;
  if (s.wBooklet != 0) flags |= FLAG_BOOKLET;
  return flags;
}

bool JobIsSpooled(const KQDEVMODE& s) { return s.wBypass == 0 && s.wOverlayMode != 2 && ReplayFlagsFor(s) != 0; }

BOOL InitFileOperation(JobData* pData) {
  pData->dwFlags |= FLAG_SPOOLED | ReplayFlagsFor(pData->Settings);
  pData->hTempFile = INVALID_HANDLE_VALUE;
  GetTempPathW(MAX_PATH, pData->szTempPath);
  if (GetTempFileNameW(pData->szTempPath, TEXT("ZQP"), 0, pData->szTempFile) != 0) {
    pData->hTempFile = CreateFileW(pData->szTempFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    // The name was made with an empty file; it goes if the file cannot be opened.
    if (pData->hTempFile == INVALID_HANDLE_VALUE) DeleteJobFile(pData->szTempFile, TEXT("spool file"));
  }
  if (pData->hTempFile == INVALID_HANDLE_VALUE) {
    pData->szTempFile[0] = 0;
    Trace(TEXT("Could not create temporary file."));
    return FALSE;
  }
  Trace(TEXT(" Manual Duplex enabled...\n"));
  Trace(pData->szTempFile);
  Trace(TEXT("  --- Temp File created ...\n"));
  pData->file_info.dwCount = 0;
  pData->file_info.iTotalPage = 0;
  return TRUE;
}

BOOL AppendCounted(HANDLE hFile, DWORD* pdwCount, const void* bytes, DWORD count, LPCWSTR szWhat) {
  if (count > 0xFFFFFFFFu - *pdwCount) {
    TraceFormat(TEXT("The %s would pass 4 GiB; the buffer is not stored.\n"), szWhat);
    return FALSE;
  }
  DWORD written = 0;
  if (!WriteFile(hFile, bytes, count, &written, nullptr) || written != count) {
    // Whatever part went in is taken back, so that the count stays true.
    LONG high = 0;
    SetFilePointer(hFile, static_cast<LONG>(*pdwCount), &high, FILE_BEGIN);
    TraceFormat(TEXT("Could not write to the %s.\n"), szWhat);
    return FALSE;
  }
  *pdwCount += count;
  return TRUE;
}

BOOL SpoolWrite(JobData* pData, const void* bytes, DWORD count) {
  return AppendCounted(pData->hTempFile, &pData->file_info.dwCount, bytes, count, TEXT("spool file"));
}

namespace {

constexpr DWORD kPageIndexStep = 4096;  // entries the page index grows by, at least

// Makes room for entry i of the page index; entries it adds read as 0.
BOOL ReservePageEntry(FILE_INFO& index, DWORD i) {
  if (index.dwPage.Reserve(i, kPageIndexStep)) return TRUE;
  Trace(TEXT("Could not grow the page index.\n"));
  return FALSE;
}

// A booklet page's orientation; a marker without one gives the job's own.
// FALSE when the array has no room for it.
BOOL RecordOrientation(JobData* pData, const BYTE* marker, DWORD size) {
  BYTE code = size >= 5 ? marker[4] : static_cast<BYTE>(pData->Settings.dm.dmOrientation);
  return CheckOrientationArray(&pData->booklet_info, static_cast<DWORD>(pData->file_info.iTotalPage), code);
}

BOOL HandlePageMarker(JobData* pData, const BYTE* p, DWORD n) {
  FILE_INFO& index = pData->file_info;
  switch (p[3]) {
    case PAGE_MARKER_START:
      if (index.iTotalPage == INT32_MAX - 1 || !ReservePageEntry(index, static_cast<DWORD>(index.iTotalPage) + 1))
        return FALSE;
      // A page whose orientation cannot be kept fails its marker, and the
      // index stays as it was.
      if ((pData->dwFlags & FLAG_BOOKLET) && !RecordOrientation(pData, p, n)) return FALSE;
      index.dwPage[index.iTotalPage] = index.dwCount;
      ++index.iTotalPage;
      index.bPagesEnded = FALSE;
      return TRUE;
    case PAGE_MARKER_END:
      if (!ReservePageEntry(index, static_cast<DWORD>(index.iTotalPage))) return FALSE;
      index.dwPage[index.iTotalPage] = index.dwCount;
      index.bPagesEnded = TRUE;
      return TRUE;
    case PAGE_MARKER_BOOKLET: return InitBooklet(pData, p, n);
    default: return TRUE;  // an unknown code is swallowed
  }
}

}  // namespace

BOOL WriteToFile(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  const auto* p = static_cast<const BYTE*>(pBuf);
  if (IsPageMarker(p, cbBuf)) {
    if (!HandlePageMarker(pData, p, cbBuf)) return FALSE;
    *pcWritten = cbBuf;
    return TRUE;
  }
  if (!IsOpenHandle(pData->hTempFile)) return FALSE;

  const KQDEVMODE& s = pData->Settings;
  if (IsOverlayMarker(p, cbBuf)) {
    if (s.wOverlayMode == 1 && !OverlayBlockInto(pData, SpoolWrite)) return FALSE;
    *pcWritten = kOverlayMarkerSize;
    return TRUE;
  }
  if (IsWatermarkMarker(p, cbBuf)) {
    if (WatermarkWantedOnPage(pData) && !WatermarkBlockInto(pData, SpoolWrite)) return FALSE;
    *pcWritten = kWatermarkMarkerSize;
    return TRUE;
  }
  if (!SpoolWrite(pData, pBuf, cbBuf)) return FALSE;
  *pcWritten = cbBuf;
  return TRUE;
}

void ReleaseSpoolFile(JobData* pData) {
  if (IsOpenHandle(pData->hTempFile)) {
    CloseHandle(pData->hTempFile);
    DeleteJobFile(pData->szTempFile, TEXT("spool file"));
  }
  pData->hTempFile = nullptr;
  pData->file_info.dwPage.Release();
  ReleaseOrientationArray(&pData->booklet_info);
}
