// The driver's utility library (base name + "m.dll"): the dialog that tells
// the user how to put a printed stack back for the other sides.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#ifdef _WIN32
#define UTILITY_EXPORT
#else
#define UTILITY_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

UTILITY_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

UTILITY_EXPORT void WINAPI ShowUtilsDialog() {
  MessageBoxW(nullptr,
              TEXT("The first sides are printed. Take the printed stack out of the output tray, turn it over "
                   "without changing its order, and put it into the multi-purpose tray with the printed sides "
                   "up and the top edge toward the printer. Then press OK to print the other sides."),
              TEXT("Manual Duplex"), MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
}

}  // extern "C"
