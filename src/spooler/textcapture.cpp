#include "spooler/textcapture.h"

#include "config/printerinfo.h"
#include "spool/replay.h"
#include "spool/spoolfile.h"
#include "job/lifecycle.h"
#include "job/messages.h"
#include "support/guards.h"
#include "support/text.h"

namespace {

// textout.teq in the driver's folder, or for `n` > 0 textout-n.teq.
BOOL CaptureFilePath(LPCWSTR szFolder, int n, WCHAR (&path)[MAX_PATH]) {
  WCHAR name[32];
  if (n == 0) wsprintfW(name, TEXT("textout.teq"));
  else wsprintfW(name, TEXT("textout-%d.teq"), n);
  return FileInFolder(szFolder, name, path);
}

// The capture file, made anew, not shared. A file another job holds is
// passed over for one of the job's own.
HANDLE CreateCaptureFile(HANDLE hPrinter, TEXT_CAPTURE& t) {
  constexpr int kOwnFiles = 64;
  WCHAR folder[MAX_PATH];
  bool known = DriverFolder(hPrinter, folder);
  for (int n = 0; known && n <= kOwnFiles; ++n) {
    if (!CaptureFilePath(folder, n, t.szFile)) break;
    HANDLE h =
        CreateFileW(t.szFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    if (GetLastError() != ERROR_SHARING_VIOLATION) break;
  }
  t.szFile[0] = 0;
  return INVALID_HANDLE_VALUE;
}

void CloseAndDelete(TEXT_CAPTURE& t) {
  for (HANDLE* h : {&t.hTextfile, &t.hsavedTextfile}) {
    if (IsOpenHandle(*h)) CloseHandle(*h);
    *h = INVALID_HANDLE_VALUE;
  }
  if (t.szFile[0]) DeleteJobFile(t.szFile, TEXT("capture file"));
  t.szFile[0] = 0;
  t.dwTextfileCount = 0;
}

BOOL StartCapture(JobData* pData, DWORD cbBuf, LPDWORD pcWritten) {
  TEXT_CAPTURE& t = pData->text;
  // A stretch still open or awaiting its page's end keeps the file: the
  // new one cannot have it.
  HANDLE h = IsOpenHandle(t.hTextfile) || IsOpenHandle(t.hsavedTextfile) ? INVALID_HANDLE_VALUE
                                                                         : CreateCaptureFile(pData->hPrinter, t);
  if (h == INVALID_HANDLE_VALUE) {
    ShowMessage(TEXT("Could not create temporary file."), MB_OK);
    return FALSE;
  }
  t.hTextfile = h;
  t.dwTextfileCount = 0;
  *pcWritten = cbBuf;
  return TRUE;
}

// Writes what the file holds to the printer, never more than it read back.
BOOL ReplayCapture(JobData* pData) {
  TEXT_CAPTURE& t = pData->text;
  GlobalBlock<BYTE> buffer(PRINT_BUF_SIZE);
  if (!buffer) {
    // Kept, it would come out later, in another page or after the job.
    CloseAndDelete(t);
    Trace(TEXT("The captured text could not be replayed: no memory for its buffer; it is not printed.\n"));
    return FALSE;
  }
  auto fail = [&](LPCWSTR message, UINT style) {
    CloseAndDelete(t);
    ShowMessage(message, style);
    return FALSE;
  };
  LONG high = 0;
  if (SetFilePointer(t.hsavedTextfile, 0, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    return fail(TEXT("Failed to SetFilePointer"), MB_OK);
  while (t.dwTextfileCount > 0) {
    bool full = t.dwTextfileCount > PRINT_BUF_SIZE;
    DWORD chunk = full ? PRINT_BUF_SIZE : t.dwTextfileCount, read = 0, written = 0;
    if (!ReadFile(t.hsavedTextfile, buffer.get(), chunk, &read, nullptr) || read != chunk)
      return fail(full ? TEXT("Failed to read file : PRINT_BUF_SIZE") : TEXT("Failed to read file: dwTextfileCount"),
                  MB_ICONERROR);
    if (!JobPrinterWrite(pData, buffer.get(), chunk, &written)) {
      if (JobCancelled(pData)) return CloseAndDelete(t), FALSE;  // the user's own doing: no box
      return fail(full ? TEXT("Failed to write date to the printer : PRINT_BUF_SIZE")
                       : TEXT("Failed to write date to the printer: cbSize"),
                  MB_ICONERROR);
    }
    t.dwTextfileCount -= chunk;
  }
  CloseAndDelete(t);
  return TRUE;
}

}  // namespace

BOOL TextCaptureWrite(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  const auto* p = static_cast<const BYTE*>(pBuf);
  TEXT_CAPTURE& t = pData->text;
  if (IsCaptureStart(p, cbBuf)) return StartCapture(pData, cbBuf, pcWritten);
  if (IsCaptureStop(p, cbBuf)) {
    // Outside a stretch the marker changes nothing: a stretch awaiting its
    // page's end keeps its file.
    if (IsOpenHandle(t.hTextfile)) {
      t.hsavedTextfile = t.hTextfile;
      t.hTextfile = INVALID_HANDLE_VALUE;
    }
    *pcWritten = cbBuf;
    return TRUE;
  }
  if (IsOpenHandle(t.hTextfile)) {
    if (!AppendCounted(t.hTextfile, &t.dwTextfileCount, pBuf, cbBuf, TEXT("capture file"))) return FALSE;
    *pcWritten = cbBuf;
    return TRUE;
  }
  DWORD written = 0;
  BOOL ok = JobPrinterWrite(pData, pBuf, cbBuf, &written);
  *pcWritten = cbBuf;
  return ok;
}

BOOL TextCaptureEndPage(JobData* pData) {
  if (!pData->plan.bTextCapture || !IsOpenHandle(pData->text.hsavedTextfile)) return TRUE;
  return ReplayCapture(pData);
}

void TextCaptureEndDoc(JobData* pData) {
  TEXT_CAPTURE& t = pData->text;
  if (IsOpenHandle(t.hTextfile)) {  // a stretch without its stop marker ends with the document
    t.hsavedTextfile = t.hTextfile;
    t.hTextfile = INVALID_HANDLE_VALUE;
  }
  if (IsOpenHandle(t.hsavedTextfile)) ReplayCapture(pData);
}

void TextCaptureClose(JobData* pData) { CloseAndDelete(pData->text); }
