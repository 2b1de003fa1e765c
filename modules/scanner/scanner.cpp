// The scanner component, "zuvav.dll" in the system32 folder: arbitrates the
// device's port between scanning and printing. A scan in progress holds the
// port; printing is granted it otherwise. On Windows the scanning side holds
// the named mutex "Local\KQScannerPort" while it scans; on the simulated
// machine it keeps the lock file "zuvav.lck" beside this library, which
// kqxl-run's "scanner hold" writes. The acquire takes the device's code
// (1 for the device's port, whatever its kind); releases name the port's
// own code (1 parallel, 16 USB).
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#ifdef _WIN32
#define SCANNER_EXPORT
#else
#define SCANNER_EXPORT __attribute__((visibility("default")))
#endif

namespace {

#ifdef _WIN32
bool ScanInProgress() {
  HANDLE lock = OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\KQScannerPort");
  if (!lock) return false;  // no scanning side running
  DWORD wait = WaitForSingleObject(lock, 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(lock);
  CloseHandle(lock);
  return wait == WAIT_TIMEOUT;
}
#else
bool ScanInProgress() {
  WCHAR path[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryW(path, MAX_PATH);
  if (n == 0 || n + 20 >= MAX_PATH) return true;  // a lock that cannot be found may be held
  lstrcatW(path, TEXT("\\system32\\zuvav.lck"));
  // A lock that cannot be looked at may be held: the port is not given away.
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}
#endif

}  // namespace

extern "C" {

SCANNER_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// Non-zero when the printer may use the port now.
SCANNER_EXPORT INT WINAPI PortAcquire(INT nPort) {
  WCHAR line[64];
  wsprintfW(line, TEXT("zuvav: PortAcquire(%d)\n"), nPort);
  OutputDebugStringW(line);
  return nPort == 1 && !ScanInProgress() ? 1 : 0;
}

// Hands the port back; non-zero for a port code the device knows.
SCANNER_EXPORT INT WINAPI PortRelease(INT nPort) {
  WCHAR line[64];
  wsprintfW(line, TEXT("zuvav: PortRelease(%d)\n"), nPort);
  OutputDebugStringW(line);
  return nPort == 1 || nPort == 16 ? 1 : 0;
}

}  // extern "C"
