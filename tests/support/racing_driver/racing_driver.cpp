// A printer driver's spooler module for tests only, with the fault the
// race canary looks for: its hooks count every job's pages and bytes in
// process-wide variables without a lock. Played on two printers at once,
// the counts race between the Win32 calls each hook makes; ThreadSanitizer
// must report that every time, or it would miss such a race in the
// component too. Otherwise it passes its data through, as a driver that
// adds nothing would.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <winspool.h>

#define RACING_EXPORT __attribute__((visibility("default")))

namespace {

// Shared by every job of the process, and guarded by nothing.
long g_pages = 0;
unsigned long long g_bytes = 0;

struct Job {
  HANDLE printer;
  DWORD id;
};

Job* jobOf(HANDLE h) { return static_cast<Job*>(h); }

}  // namespace

extern "C" {

RACING_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

RACING_EXPORT HANDLE WINAPI DrvSplStartDoc(HANDLE printer, DWORD jobId) {
  OutputDebugStringW(u"racing driver: a job starts");
  return new Job{printer, jobId};
}

RACING_EXPORT BOOL WINAPI DrvSplWritePrinter(HANDLE job, LPVOID data, DWORD size, LPDWORD written) {
  g_bytes += size;  // the race
  return WritePrinter(jobOf(job)->printer, data, size, written);
}

RACING_EXPORT BOOL WINAPI DrvSplStartPage(HANDLE) {
  ++g_pages;  // the race
  return TRUE;
}

RACING_EXPORT BOOL WINAPI DrvSplEndPage(HANDLE job) {
  DWORD written = 0;
  char mark = '.';
  return WritePrinter(jobOf(job)->printer, &mark, 1, &written);
}

RACING_EXPORT void WINAPI DrvSplEndDoc(HANDLE) { OutputDebugStringW(u"racing driver: a job ends"); }
RACING_EXPORT void WINAPI DrvSplAbort(HANDLE) {}
RACING_EXPORT void WINAPI DrvSplClose(HANDLE job) { delete jobOf(job); }

}  // extern "C"
