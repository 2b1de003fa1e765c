// DrvSplWritePrinter: takes the job's settings from its first buffer and
// routes every later buffer, in this order of modes: settings update, text
// capture, bypass, overlay creation, spooled, direct.
#include "spooler/writepath.h"

#include <cstring>

#include "booklet/record.h"
#include "config/driverfiles.h"
#include "job/lifecycle.h"
#include "job/messages.h"
#include "job/shared.h"
#include "spool/spoolfile.h"
#include "spooler/hooks.h"
#include "spooler/overlayprompts.h"
#include "spooler/textcapture.h"
#include "support/text.h"
#include "watermark/insertion.h"
#include "watermark/rendering.h"

namespace {

constexpr size_t kUserIdChars = 39;  // the INI entry's 40 characters, terminator included

// A user ID goes into the INI file that every user's jobs read: one with a
// line break would add sections and keys of its own, one cut to fit would
// be another user's ID.
LPCWSTR WhyNotAUserId(WideView id) {
  if (id.size() > kUserIdChars) return TEXT("is longer than 39 characters");
  for (WCHAR c : id)
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029) return TEXT("holds a control character");
  return nullptr;
}

// The language INI file gets the settings' default user ID when it has none.
void WriteDefaultUserId(JobData* pData) {
  WCHAR ini[MAX_PATH] = {};
  BOOL found = GetMultiLangINIFile(pData->hPrinter, ini);
  WCHAR id[kUserIdChars + 1] = {};
  if (ReadIniText(ini, TEXT("GetUserID"), TEXT("UserID"), TEXT(""), id, kUserIdChars + 1) != 0) return;
  if (!found) return;  // nowhere to write it
  WCHAR given[sizeof pData->Settings.szDefaultUserId + 1] = {};
  AnsiFieldToWide(pData->Settings.szDefaultUserId, given);
  if (LPCWSTR why = WhyNotAUserId(WideView(given))) {
    TraceFormat(TEXT("The job's default user ID %s; it is not written to the INI file.\n"), why);
    return;
  }
  WritePrivateProfileStringW(TEXT("GetUserID"), TEXT("UserID"), given, ini);
}

// The job's settings as they now stand: kept for its printer's next jobs,
// and the job's plan decoded from them.
void TakeSettings(JobData* pData, SettingsSource source) {
  CapturePrinterSettings(pData);
  PlanJob(pData, source);
}

void TurnOverlayOff(JobData* pData) {
  pData->Settings.wOverlayMode = OVERLAY_NONE;
  TakeSettings(pData, pData->plan.source);
}

// An overlay prompt's answer: a cancel turns the job's form off, and its
// settings record counts as not taken. False when the prompt could not be
// shown.
bool TakePromptAnswer(JobData* pData, PromptOutcome outcome, bool* accepted) {
  if (outcome == PromptOutcome::Failed) return false;
  if (outcome == PromptOutcome::Cancelled) {
    TurnOverlayOff(pData);
    *accepted = false;
  }
  return true;
}

BOOL HandleFirstBuffer(JobData* pData, LPVOID pBuf, LPDWORD pcWritten) {
  std::memcpy(&pData->Settings, pBuf, kSettingsRecordSize);
  TakeSettings(pData, SettingsSource::JobRecord);
  bool accepted = true;
  const JobPlan& plan = pData->plan;

  WriteDefaultUserId(pData);
  if (plan.watermark != WatermarkPages::None) MakeJobWatermark(pData);

  if (plan.form == FormUse::Record && !TakePromptAnswer(pData, OverlayCreatePrompt(pData), &accepted)) return FALSE;
  // Decided after the creation prompt: a recording cancelled there is
  // spooled when the job asks for a replay. Without its spool file the job
  // cannot be printed as asked, and its first buffer fails.
  if (plan.bSpooled && !InitFileOperation(pData)) return FALSE;
  if (plan.form == FormUse::Print && IsOn(pData->Settings.wOverlayQuery) &&
      !TakePromptAnswer(pData, OverlayQueryPrompt(pData), &accepted))
    return FALSE;
  *pcWritten = accepted ? kSettingsRecordSize : 0;
  return accepted ? TRUE : FALSE;
}

bool SameDeviceName(const WCHAR* a, const WCHAR* b) {
  for (int i = 0; i < CCHDEVICENAME; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

// A later DEVMODE of the same device whose orientation differs.
bool IsOrientationChange(const JobData* pData, const BYTE* p, DWORD n) {
  const KQDEVMODE& s = pData->Settings;
  if (pData->plan.watermark == WatermarkPages::None || n != kSettingsRecordSize) return false;
  KQDEVMODE update;
  std::memcpy(&update, p, sizeof update);
  return SameDeviceName(update.dm.dmDeviceName, s.dm.dmDeviceName) && update.dm.dmOrientation != s.dm.dmOrientation;
}

BOOL HandleOrientationChange(JobData* pData, const BYTE* p, LPDWORD pcWritten) {
  std::memcpy(&pData->Settings.dm.dmOrientation, p + offsetof(KQDEVMODE, dm) + offsetof(DEVMODEW, dmOrientation),
              sizeof(SHORT));
  TakeSettings(pData, pData->plan.source);
  if (FirstTime(pData, FACT_SECOND_WATERMARK_MADE)) MakeJobWatermark(pData);
  *pcWritten = kSettingsRecordSize;
  return TRUE;
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
      if (!ReserveNextPage(index)) return FALSE;
      // A page whose orientation cannot be kept fails its marker, and the
      // index stays as it was.
      if (IsBookletOrder(pData->plan.replay) && !RecordOrientation(pData, p, n)) return FALSE;
      IndexPageStart(index);
      return TRUE;
    case PAGE_MARKER_END: return IndexPagesEnd(index);
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
  switch (ReplaceMarker(pData, p, cbBuf, BlockForm::Spool, SpoolWrite, pcWritten)) {
    case MarkerOutcome::Replaced: return TRUE;
    case MarkerOutcome::Failed: return FALSE;
    case MarkerOutcome::NotAMarker: break;
  }
  if (!SpoolWrite(pData, pBuf, cbBuf)) return FALSE;
  *pcWritten = cbBuf;
  return TRUE;
}

namespace {

BOOL RouteBuffer(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  const auto* p = static_cast<const BYTE*>(pBuf);
  if (IsOrientationChange(pData, p, cbBuf)) return HandleOrientationChange(pData, p, pcWritten);
  switch (pData->plan.route) {
    case BufferRoute::TextCapture: return TextCaptureWrite(pData, pBuf, cbBuf, pcWritten);
    case BufferRoute::Bypass: return JobPrinterWrite(pData, pBuf, cbBuf, pcWritten);
    case BufferRoute::FormRecording: return OverlayCaptureWrite(pData, pBuf, cbBuf, pcWritten);
    case BufferRoute::Spooled: return WriteToFile(pData, pBuf, cbBuf, pcWritten);
    case BufferRoute::Direct: break;
  }
  switch (ReplaceMarker(pData, p, cbBuf, BlockForm::Direct, PrinterWrite, pcWritten)) {
    case MarkerOutcome::Replaced: return TRUE;
    case MarkerOutcome::Failed: return FALSE;
    case MarkerOutcome::NotAMarker: break;
  }
  return JobPrinterWrite(pData, pBuf, cbBuf, pcWritten);
}

}  // namespace

extern "C" KQXL_EXPORT BOOL WINAPI DrvSplWritePrinter(HANDLE hDriver, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  Trace(TEXT("KQXLUMPD: DrvSplWritePrinter \n"));
  auto* pData = static_cast<JobData*>(hDriver);
  DWORD ignored = 0;
  if (!pcWritten) pcWritten = &ignored;
  if (!pData || (!pBuf && cbBuf)) return FALSE;
  AssertJobRecord(pData);
  switch (pData->eState) {
    case JobState::Created:  // the first buffer: the job's settings record, when it is one
      MoveJob(pData, JobState::Receiving);
      if (cbBuf == kSettingsRecordSize) return HandleFirstBuffer(pData, pBuf, pcWritten);
      return RouteBuffer(pData, pBuf, cbBuf, pcWritten);
    case JobState::Receiving: return RouteBuffer(pData, pBuf, cbBuf, pcWritten);
    case JobState::Cancelled: break;  // nothing more of a cancelled job goes anywhere
    case JobState::Ended:
    case JobState::Closed: Trace(TEXT("A buffer after the end of the document is refused.\n")); break;
  }
  *pcWritten = 0;
  SetLastError(JobCancelled(pData) ? ERROR_PRINT_CANCELLED : ERROR_INVALID_PARAMETER);
  return FALSE;
}
