#include "config/portcontention.h"

#include "support/guards.h"
#include "support/text.h"

namespace {

using PortFn = INT(WINAPI*)(INT);

HMODULE LoadScannerComponent() {
  WCHAR windows[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  WCHAR path[2 * MAX_PATH];
  wsprintfW(path, TEXT("%s%s"), windows, TEXT("\\system32\\zuvav.dll"));
  return LoadLibraryW(path);
}

PortFn Export(HMODULE module, const char* name) {
  return reinterpret_cast<PortFn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

INT PortCodeOf(LPCWSTR szPortName) {
  if (StartsWithNoCase(szPortName, TEXT("LPT"))) return PORT_CODE_LPT;
  if (StartsWithNoCase(szPortName, TEXT("USB"))) return PORT_CODE_USB;
  return 0;
}

void UnloadScannerComponent(JobData* pData) {
  if (pData->hDll) FreeLibrary(pData->hDll);
  pData->hDll = nullptr;
}

BOOL PortAcquire(JobData* pData, INT nPort) {
  UnloadScannerComponent(pData);
  pData->hDll = LoadScannerComponent();
  if (!pData->hDll) {  // no scanner component: nothing to contend with, but a model that shares its port has one
    Trace(TEXT("The scanner component could not be loaded; the job is not checked against a scan in progress.\n"));
    return TRUE;
  }
  PortFn acquire = Export(pData->hDll, "PortAcquire");
  if (!acquire) {
    UnloadScannerComponent(pData);
    return FALSE;
  }
  return acquire(nPort) != 0;
}

BOOL PortRelease(JobData* pData, INT nPort) {
  if (!pData->hDll) return TRUE;
  PortFn release = Export(pData->hDll, "PortRelease");
  BOOL ok = release && release(nPort) != 0;
  UnloadScannerComponent(pData);
  if (release) Trace(ok ? TEXT("TRUE\n") : TEXT("false\n"));
  return ok;
}

BOOL PortReleaseEnd(JobData* pData, INT nPort) {
  // The acquire's load goes with the job's end; the release has its own.
  UnloadScannerComponent(pData);
  pData->hDll = LoadScannerComponent();
  if (!pData->hDll) return TRUE;
  return PortRelease(pData, nPort);
}
