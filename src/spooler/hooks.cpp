// The module entry point and the hooks that frame a job.
#include "spooler/hooks.h"
#include "spooler/overlayprompts.h"

#include "config/driverfiles.h"
#include "job/lifecycle.h"
#include "job/shared.h"
#include "config/portcontention.h"
#include "spool/spoolfile.h"
#include "spooler/replays.h"
#include "spooler/textcapture.h"
#include "support/guards.h"
#include "support/text.h"
#include "watermark/files.h"
#include "watermark/overlaylib.h"

#include <cstring>

namespace {

// Whether this model shares its port with the scanner, from the language
// INI file, which is left in `ini`.
bool PortContentionOn(HANDLE hPrinter, WCHAR (&ini)[MAX_PATH]) {
  GetMultiLangINIFile(hPrinter, ini);
  return (GetModelFeature2(ModelFeature2, FEATURE_PORT_CONTENTION, ini) & 0xFFFF) == 1;
}

// 0 for a port the scanner does not share, or one that cannot be told.
INT PrinterPortCode(HANDLE hPrinter) {
  GlobalBlock<PRINTER_INFO_2W> info = MyGetPrinter(hPrinter);
  if (!info || !info->pPortName) {
    Trace(TEXT("The printer's port could not be read; the job is not checked against a scan in progress.\n"));
    return 0;
  }
  return PortCodeOf(info->pPortName);
}

// FALSE when the scanner holds the printer's port: the user is told so.
BOOL AcquirePort(JobData* pData) {
  HANDLE hPrinter = pData->hPrinter;
  WCHAR ini[MAX_PATH] = {};
  if (!PortContentionOn(hPrinter, ini)) return TRUE;
  INT code = PrinterPortCode(hPrinter);
  WCHAR busy[256] = {};
  ReadIniText(ini, TEXT("PORTCONTENTION"), TEXT("MESSAGE"), TEXT(""), busy, 256);
  if (code == 0) return TRUE;
  // The acquire always asks for the device's code, 1, which the scanner
  // component relies on; the release names the port's own.
  if (PortAcquire(pData, PORT_CODE_LPT)) return TRUE;
  ShowMessageBox(busy, nullptr, MB_SYSTEMMODAL);
  PortRelease(pData, code);
  return FALSE;
}

void ReleasePortAtEnd(JobData* pData) {
  WCHAR ini[MAX_PATH] = {};
  if (!PortContentionOn(pData->hPrinter, ini)) return;
  if (INT code = PrinterPortCode(pData->hPrinter)) PortReleaseEnd(pData, code);
}

void TracePageIndex(const JobData* pData) {
  const FILE_INFO& index = pData->file_info;
  TraceFormat(TEXT(" pData->file_info.iTotalPage = %d \n"), index.iTotalPage);
  TraceFormat(TEXT(" pData->file_info.dwCount = %d \n"), index.dwCount);
  for (INT i = 0; i <= index.iTotalPage; ++i)
    TraceFormat(TEXT(" pData->file_info.dwPage[%d] = %d \n"), i, PageOffset(index, i));
}

void CloseOverlayOutputFile(JobData* pData) {
  if (IsOpenHandle(pData->hOvlyFile)) CloseHandle(pData->hOvlyFile);
  pData->hOvlyFile = nullptr;
}

// The end of a document the user did not cancel: the text still captured,
// the page index, then the form recorded or the job replayed.
void EndDocument(JobData* pData) {
  TextCaptureEndDoc(pData);
  TracePageIndex(pData);
  AssertWholePageIndex(pData->file_info);
  if (pData->plan.form == FormUse::Record) FinishOverlayRecording(pData);
  else ReplaySpooledJob(pData);
}

// The printer's name keys the settings its jobs share; without it the job
// shares none.
void ReadJobPrinterName(JobData* pData) {
  GlobalBlock<PRINTER_INFO_2W> info = MyGetPrinter(pData->hPrinter);
  if (info && info->pPrinterName) CopyWide(pData->szPrinter, WideView(info->pPrinterName));
  else Trace(TEXT("The printer's name could not be read: the job takes no settings from the printer's last job.\n"));
}

}  // namespace

BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
  Trace(TEXT("KQXLUMPD: DllEntryPoint \n"));
  if (dwReason == DLL_PROCESS_ATTACH) {
    hInst = hInstance;
    InitializeCriticalSection(&UmpdSection);
    InitializeCriticalSection(&WatermarkSection);
    DisableThreadLibraryCalls(hInstance);
  }
  // Nothing at detach: a process that ends may have stopped another
  // thread inside a section, and a section deleted there is one it can no
  // longer leave.
  return TRUE;
}

// The platform's entry point.
extern "C" KQXL_EXPORT BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved) {
  return DllEntryPoint(hInstance, dwReason, pReserved);
}

extern "C" {

KQXL_EXPORT HANDLE WINAPI DrvSplStartDoc(HANDLE hPrinter, DWORD JobId) {
  Trace(TEXT("KQXLUMPD: DrvSplStartDoc \n"));
  GlobalBlock<JobData> job(sizeof(JobData), GMEM_FIXED);
  if (!job) return nullptr;
  std::memset(job.get(), 0, sizeof(JobData));
  job->dwSignature = JOB_SIGNATURE;
  job->hPrinter = hPrinter;
  job->dwJobId = JobId;
  job->dwStatus = STATUS_STARTED;
  MoveJob(job.get(), JobState::Created);
  ReadJobPrinterName(job.get());
  ReadPrinterSettings(job.get());
  PlanJob(job.get(), SettingsSource::PrintersLast);

  ModuleHandle overlay(LoadOverlayLibrary(hPrinter));
  if (!overlay.get()) return nullptr;
  if (!AcquirePort(job.get())) {
    UnloadScannerComponent(job.get());
    return nullptr;
  }
  job->hJobOverlay = overlay.release();
  AssertJobRecord(job.get());
  return job.release();
}

KQXL_EXPORT BOOL WINAPI DrvSplStartPage(HANDLE hDriver) {
  Trace(TEXT("KQXLUMPD: DrvSplStartPage \n"));
  auto* pData = static_cast<JobData*>(hDriver);
  if (!pData) return TRUE;
  AssertJobRecord(pData);
  ++pData->dwPageNumber;
  return TRUE;
}

KQXL_EXPORT BOOL WINAPI DrvSplEndPage(HANDLE hDriver) {
  Trace(TEXT("KQXLUMPD: DrvSplEndPage \n"));
  auto* pData = static_cast<JobData*>(hDriver);
  if (!pData) return FALSE;
  AssertJobRecord(pData);
  if (JobCancelled(pData)) return TRUE;  // captured text of a cancelled job is not printed
  return TextCaptureEndPage(pData);
}

KQXL_EXPORT void WINAPI DrvSplEndDoc(HANDLE hDriver) {
  Trace(TEXT("KQXLUMPD: DrvSplEndDoc \n"));
  auto* pData = static_cast<JobData*>(hDriver);
  if (!pData) return;
  AssertJobRecord(pData);
  pData->dwStatus |= STATUS_ENDDOC;
  switch (pData->eState) {
    case JobState::Created:
    case JobState::Receiving:
      MoveJob(pData, JobState::Ended);
      EndDocument(pData);
      break;
    case JobState::Cancelled:
      // Nothing more is printed: no captured text, no replay, and a form
      // being recorded keeps what it has.
      CloseOverlayOutputFile(pData);
      break;
    case JobState::Ended:
    case JobState::Closed: Trace(TEXT("DrvSplEndDoc came again for the same job; it is passed over.\n")); return;
  }
  // The scanner gets the port back whatever came of the job.
  ReleasePortAtEnd(pData);
}

KQXL_EXPORT void WINAPI DrvSplAbort(HANDLE hDriver) {
  Trace(TEXT("KQXLUMPD: DrvSplAbort \n"));
  auto* pData = static_cast<JobData*>(hDriver);
  if (!pData) return;
  AssertJobRecord(pData);
  pData->dwStatus |= STATUS_ABORTED;
  CancelJob(pData);
}

KQXL_EXPORT void WINAPI DrvSplClose(HANDLE hDriver) {
  Trace(TEXT("KQXLUMPD: DrvSplClose \n"));
  auto* pData = static_cast<JobData*>(hDriver);
  if (!pData) return;
  AssertJobRecord(pData);
  MoveJob(pData, JobState::Closed);
  pData->dwSignature = JOB_SIGNATURE_CLOSED;
  if (pData->hJobOverlay) FreeLibrary(pData->hJobOverlay);
  TextCaptureClose(pData);
  CloseOverlayOutputFile(pData);  // a creation job that never reached its end
  UnloadScannerComponent(pData);
  // The spool file goes whatever the settings say now: no temp file
  // survives a closed job.
  ReleaseSpoolFile(pData);
  ReleaseJobWatermarks(pData);
  GlobalFree(pData);
}

}  // extern "C"
