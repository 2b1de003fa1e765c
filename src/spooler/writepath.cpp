// DrvSplWritePrinter: takes the job's settings from its first buffer and
// routes every later buffer, in this order of modes: settings update, text
// capture, bypass, overlay creation, spooled, direct.
#include <cstring>

#include "config/driverfiles.h"
#include "spool/spoolfile.h"
#include "spooler/hooks.h"
#include "spooler/messages.h"
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

void TurnOverlayOff(JobData* pData) {
  pData->Settings.wOverlayMode = 0;
  CapturePrinterSettings(pData);
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
  CapturePrinterSettings(pData);
  bool accepted = true;
  const KQDEVMODE& s = pData->Settings;

  WriteDefaultUserId(pData);
  if (s.wWatermark) MakeJobWatermark(pData);

  if (s.wOverlayMode == 2 && !TakePromptAnswer(pData, OverlayCreatePrompt(pData), &accepted)) return FALSE;
  if (JobIsSpooled(s)) InitFileOperation(pData);
  if (s.wOverlayMode == 1 && s.wOverlayQuery && !TakePromptAnswer(pData, OverlayQueryPrompt(pData), &accepted))
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
  if (!s.wWatermark || n != kSettingsRecordSize) return false;
  KQDEVMODE update;
  std::memcpy(&update, p, sizeof update);
  return SameDeviceName(update.dm.dmDeviceName, s.dm.dmDeviceName) && update.dm.dmOrientation != s.dm.dmOrientation;
}

BOOL HandleOrientationChange(JobData* pData, const BYTE* p, LPDWORD pcWritten) {
  std::memcpy(&pData->Settings.dm.dmOrientation, p + offsetof(KQDEVMODE, dm) + offsetof(DEVMODEW, dmOrientation),
              sizeof(SHORT));
  CapturePrinterSettings(pData);
  if (!(pData->dwFlags & FLAG_SECOND_WATERMARK)) {
    pData->dwFlags |= FLAG_SECOND_WATERMARK;
    MakeJobWatermark(pData);
  }
  *pcWritten = kSettingsRecordSize;
  return TRUE;
}

BOOL RouteBuffer(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  const auto* p = static_cast<const BYTE*>(pBuf);
  const KQDEVMODE& s = pData->Settings;

  if (IsOrientationChange(pData, p, cbBuf)) return HandleOrientationChange(pData, p, pcWritten);
  if (s.wTextCapture && s.wTextCaptureMode != 2) return TextCaptureWrite(pData, pBuf, cbBuf, pcWritten);
  if (s.wBypass) return WritePrinter(pData->hPrinter, pBuf, cbBuf, pcWritten);
  if (s.wOverlayMode == 2) return OverlayCaptureWrite(pData, pBuf, cbBuf, pcWritten);
  if (pData->dwFlags & FLAG_SPOOLED) return WriteToFile(pData, pBuf, cbBuf, pcWritten);

  if (IsOverlayMarker(p, cbBuf)) {
    if (s.wOverlayMode == 1 && !PrintOverlay(pData)) return FALSE;
    *pcWritten = kOverlayMarkerSize;
    return TRUE;
  }
  if (IsWatermarkMarker(p, cbBuf)) {
    if (WatermarkWantedOnPage(pData) && !WriteDirectWatermarkBlock(pData)) return FALSE;
    *pcWritten = kWatermarkMarkerSize;
    return TRUE;
  }
  return WritePrinter(pData->hPrinter, pBuf, cbBuf, pcWritten);
}

}  // namespace

extern "C" KQXL_EXPORT BOOL WINAPI DrvSplWritePrinter(HANDLE hDriver, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  Trace(TEXT("KQXLUMPD: DrvSplWritePrinter \n"));
  auto* pData = static_cast<JobData*>(hDriver);
  DWORD ignored = 0;
  if (!pcWritten) pcWritten = &ignored;
  if (!pData || (!pBuf && cbBuf)) return FALSE;
  ++pData->dwWriteCount;
  if (pData->dwWriteCount == 1 && cbBuf == kSettingsRecordSize) return HandleFirstBuffer(pData, pBuf, pcWritten);
  return RouteBuffer(pData, pBuf, cbBuf, pcWritten);
}
