// The overlay prompts at job start, and the recording of a job's first page
// as a new overlay.
#include "spooler/overlayprompts.h"

#include "config/driverfiles.h"
#include "config/registry.h"
#include "spooler/formfolders.h"
#include "job/messages.h"
#include "support/guards.h"
#include "support/text.h"
#include "watermark/insertion.h"
#include "watermark/overlaylib.h"

namespace {

constexpr LPCWSTR kOverlayKey = TEXT("\\DIZ\\Overlay Data");
constexpr LPCWSTR kOverlayMessage = TEXT("Overlay Message");
constexpr UINT kPromptStyle = MB_OKCANCEL | MB_ICONQUESTION | MB_SYSTEMMODAL;

// Whether this user has been asked to create an overlay before.
bool AskedBefore(HANDLE hPrinter) {
  WCHAR base[MAX_PATH] = {}, directory[MAX_PATH] = {};
  GetDrvFileNameAndPath(hPrinter, base, directory, TEXT(".DLL"));
  GetCurrentUserKeyAccess();
  RegKey key;
  if (GetKQPrintRegKey(key.out(), base, kOverlayKey) != ERROR_SUCCESS) return false;
  WCHAR value[256 + 1] = {};  // 512 bytes and a terminator the value may lack
  GetSZValFromReg(key.get(), kOverlayMessage, reinterpret_cast<LPBYTE>(value), 512);
  return lstrcmpW(value, TEXT("1")) == 0;
}

void RememberAsked(HANDLE hPrinter) {
  GetCurrentUserKeyAccess();
  RegKey key;
  if (CreateKQPrintRegKey(hPrinter, key.out(), kOverlayKey) == ERROR_SUCCESS)
    KeepIntValToReg(key.get(), kOverlayMessage, 1);
}

// The prompt's text from the language INI file, and the overlay path as its caption.
constexpr DWORD kPromptChars = 256;

bool PromptTexts(JobData* pData, LPCWSTR key, LPCWSTR fallback, WCHAR (&text)[kPromptChars], WCHAR (&path)[MAX_PATH]) {
  WCHAR ini[MAX_PATH] = {};
  GetMultiLangINIFile(pData->hPrinter, ini);
  ReadIniText(ini, TEXT("OVERLAY"), key, fallback, text, kPromptChars);
  if (!AnsiFieldToWide(pData->Settings.szOverlayFile, path)) {
    ShowMessage(TEXT("failed to MultiByteToWideChar"), MB_OK);
    return false;
  }
  return true;
}

// The prompt answered OK. A box that could not be shown (0) is no
// confirmation: nobody agreed.
bool Confirmed(LPCWSTR text, LPCWSTR caption) { return ShowMessageBox(text, caption, kPromptStyle) == IDOK; }

// A file in the way of a new overlay is replaced only when it is an
// overlay itself (what the overlay library serves) or empty: why not, or null.
LPCWSTR WhyNotReplaced(JobData* pData, LPCWSTR path) {
  FileHandle existing(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!existing.valid()) return TEXT("the file there cannot be read");
  DWORD size = GetFileSize(existing.get(), nullptr);
  existing.reset();
  if (size == 0) return nullptr;
  bool recorded = OverlaySize(pData->hJobOverlay, AnsiField(pData->Settings.szOverlayFile).c_str()) > 0;
  return recorded ? nullptr : TEXT("the file there is not a recorded form; it is kept");
}

// Where the recording would go, if the rules let it: false, traced, when not.
bool RecordingAllowed(JobData* pData, LPCWSTR path, RecordingTarget* target) {
  if (!FindRecordingTarget(pData->hPrinter, path, target)) return false;
  if (LPCWSTR why = target->bExists ? WhyNotReplaced(pData, target->szPath) : nullptr) {
    TraceRecordingRefused(path, why);
    return false;
  }
  return true;
}

// The rules are checked again after the prompt: the box may have been up a
// long while. A new file is made only where none was when they were
// checked, so that nothing put there since is written through.
HANDLE CreateOverlayFile(JobData* pData, LPCWSTR path) {
  RecordingTarget target;
  if (!RecordingAllowed(pData, path, &target)) return INVALID_HANDLE_VALUE;
  return CreateFileW(target.szPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                     target.bExists ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL WriteOverlayFile(JobData* pData, const void* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(pData->hOvlyFile, bytes, count, &written, nullptr) && written == count;
}

}  // namespace

PromptOutcome OverlayCreatePrompt(JobData* pData) {
  const KQDEVMODE& s = pData->Settings;
  bool askEveryJob = s.wOverlayAskAlways == OVERLAY_ASK_EVERY_JOB;
  // Recording is offered once a user; a job that asks again (3) is asked.
  if (!askEveryJob && AskedBefore(pData->hPrinter)) {
    Trace(TEXT("The form is not recorded: this user was asked once before, and only a job with ")
              TEXT("wOverlayAskAlways 3 is asked again.\n"));
    return PromptOutcome::Cancelled;
  }
  WCHAR text[kPromptChars] = {}, path[MAX_PATH] = {};
  if (!PromptTexts(pData, TEXT("OverlayCreateMessage"), TEXT("Create Page Overlay ?"), text, path))
    return PromptOutcome::Failed;
  // A recording the rules refuse is not offered: the user's one prompt is
  // kept for a path that can take it.
  RecordingTarget target;
  bool allowed = RecordingAllowed(pData, path, &target);
  if (allowed && !Confirmed(text, path)) {
    if (!askEveryJob) RememberAsked(pData->hPrinter);
    return PromptOutcome::Cancelled;
  }
  pData->hOvlyFile = allowed ? CreateOverlayFile(pData, path) : INVALID_HANDLE_VALUE;
  if (pData->hOvlyFile == INVALID_HANDLE_VALUE) {
    pData->hOvlyFile = nullptr;
    ShowMessage(TEXT("Failed to CreateFile in Create Overlay"), MB_OK);
    return PromptOutcome::Failed;
  }
  if (!askEveryJob) RememberAsked(pData->hPrinter);
  return PromptOutcome::Confirmed;
}

PromptOutcome OverlayQueryPrompt(JobData* pData) {
  WCHAR text[kPromptChars] = {}, path[MAX_PATH] = {};
  if (!PromptTexts(pData, TEXT("OverlayQueryMessage"), TEXT("Print Document with the Overlay ?"), text, path))
    return PromptOutcome::Failed;
  return Confirmed(text, path) ? PromptOutcome::Confirmed : PromptOutcome::Cancelled;
}

BOOL OverlayCaptureWrite(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  // Only the first page is the overlay: what comes before or after is dropped.
  if (pData->dwPageNumber != 1) {
    *pcWritten = cbBuf;
    return TRUE;
  }
  const auto* p = static_cast<const BYTE*>(pBuf);
  BOOL ok = TRUE;
  if (IsWatermarkMarker(p, cbBuf)) {
    if (pData->plan.watermark == WatermarkPages::None) {
      *pcWritten = cbBuf;
      return TRUE;
    }
    // Each failure has shown its message.
    ok = pData->hOvlyFile && WriteRecordingWatermarkBlock(pData, pData->hOvlyFile);
    if (!ok) return FALSE;
  } else {
    ok = pData->hOvlyFile && WriteOverlayFile(pData, pBuf, cbBuf);
    if (!ok) ReportOverlayWriteFailure(pData);
  }
  if (!ok) return FALSE;
  *pcWritten = cbBuf;
  return TRUE;
}

void FinishOverlayRecording(JobData* pData) {
  if (!IsOpenHandle(pData->hOvlyFile)) return;
  CloseHandle(pData->hOvlyFile);
  pData->hOvlyFile = nullptr;
  if (!pData->hJobOverlay) return;
  if (OverlaySize(pData->hJobOverlay, AnsiField(pData->Settings.szOverlayFile).c_str()) == 0) {
    Trace(TEXT("The form recorded cannot be printed under other jobs; they will print without it.\n"));
    return;
  }
  // The recording does not say its units: a job of another resolution
  // draws it at another size. (Negative qualities are no resolution.)
  if (PrintQualityIsDpi(pData->Settings.dm.dmPrintQuality))
    TraceFormat(TEXT("The form is recorded at %d dpi; jobs of %d dpi print it at its size.\n"),
                pData->Settings.dm.dmPrintQuality, pData->Settings.dm.dmPrintQuality);
}
