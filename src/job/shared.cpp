#include "job/shared.h"

#include <cstring>

#include "support/text.h"

HINSTANCE hInst;
CRITICAL_SECTION UmpdSection;
CRITICAL_SECTION WatermarkSection;

namespace {

// A spooler serves a handful of printers; the one unused longest gives way.
constexpr int kPrinters = 32;

struct PrinterSettings {
  WCHAR szPrinter[MAX_PATH];
  KQDEVMODE settings;
  DWORD dwLastUse;
};

PrinterSettings g_printers[kPrinters];
DWORD g_dwUses;
bool g_bInternalJobMaking;

PrinterSettings* FindPrinter(LPCWSTR name) {
  for (auto& p : g_printers)
    if (p.szPrinter[0] && lstrcmpiW(p.szPrinter, name) == 0) return &p;
  return nullptr;
}

PrinterSettings* OldestPrinter() {
  PrinterSettings* oldest = &g_printers[0];
  for (auto& p : g_printers)
    if (p.dwLastUse < oldest->dwLastUse) oldest = &p;
  return oldest;
}

}  // namespace

void CapturePrinterSettings(const JobData* pData) {
  if (!pData->szPrinter[0]) return;
  UmpdLock lock;
  if (g_bInternalJobMaking && pData->Settings.wBypass == BYPASS_ON) return;
  PrinterSettings* p = FindPrinter(pData->szPrinter);
  if (!p) {
    p = OldestPrinter();
    CopyWide(p->szPrinter, WideView(pData->szPrinter));
  }
  std::memcpy(&p->settings, &pData->Settings, sizeof(KQDEVMODE));
  p->dwLastUse = ++g_dwUses;
}

void ReadPrinterSettings(JobData* pData) {
  std::memset(&pData->Settings, 0, sizeof(KQDEVMODE));
  if (!pData->szPrinter[0]) return;
  UmpdLock lock;
  if (PrinterSettings* p = FindPrinter(pData->szPrinter)) {
    std::memcpy(&pData->Settings, &p->settings, sizeof(KQDEVMODE));
    p->dwLastUse = ++g_dwUses;
  }
}

InternalJobMaking::InternalJobMaking() {
  UmpdLock lock;
  g_bInternalJobMaking = true;
}

InternalJobMaking::~InternalJobMaking() {
  UmpdLock lock;
  g_bInternalJobMaking = false;
}
