// The spool file: jobs that need the whole job first are stored here, with
// a page index, and replayed at the end of the document.
#include "spool/spoolfile.h"

#include <cstring>

#include "support/guards.h"
#include "support/text.h"

BOOL InitFileOperation(JobData* pData) {
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
    ShowMessage(TEXT("Could not create temporary file."), MB_OK);
    return FALSE;
  }
  TraceFormat(TEXT(" %s enabled...\n"), ReplayOrderName(pData->plan.replay));
  Trace(pData->szTempFile);
  Trace(TEXT("  --- Temp File created ...\n"));
  pData->file_info.dwCount = 0;
  pData->file_info.iTotalPage = 0;
  pData->file_info.dwHeaderLostAt = 0;
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
  FILE_INFO& index = pData->file_info;
  if (AppendCounted(pData->hTempFile, &index.dwCount, bytes, count, TEXT("spool file"))) return TRUE;
  // The header's bytes from here on follow a gap: only eight stored after
  // it are the page prefixes the driver sent.
  if (index.iTotalPage == 0) index.dwHeaderLostAt = index.dwCount;
  return FALSE;
}

namespace {

constexpr DWORD kPageIndexStep = 4096;  // entries the page index grows by, at least

// Makes room for entry i of the page index; entries it adds read as 0.
BOOL ReservePageEntry(FILE_INFO& index, DWORD i) {
  if (index.dwPage.Reserve(i, kPageIndexStep)) return TRUE;
  Trace(TEXT("Could not grow the page index.\n"));
  return FALSE;
}

}  // namespace

BOOL ReserveNextPage(FILE_INFO& index) {
  return index.iTotalPage < INT32_MAX - 1 && ReservePageEntry(index, static_cast<DWORD>(index.iTotalPage) + 1);
}

void IndexPageStart(FILE_INFO& index) {
  index.dwPage[index.iTotalPage] = index.dwCount;
  ++index.iTotalPage;
  index.bPagesEnded = FALSE;
  AssertPageIndex(index);
}

BOOL IndexPagesEnd(FILE_INFO& index) {
  if (!ReservePageEntry(index, static_cast<DWORD>(index.iTotalPage))) return FALSE;
  index.dwPage[index.iTotalPage] = index.dwCount;
  index.bPagesEnded = TRUE;
  AssertPageIndex(index);
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
