// The spooler's driver hooks, the component's only entry points.
#pragma once

#include "job/record.h"

// Exported hooks: undecorated through the .def file on Windows, default
// visibility elsewhere.
#ifdef _WIN32
#define KQXL_EXPORT
#else
#define KQXL_EXPORT __attribute__((visibility("default")))
#endif

BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved);

extern "C" {
KQXL_EXPORT HANDLE WINAPI DrvSplStartDoc(HANDLE hPrinter, DWORD JobId);
KQXL_EXPORT BOOL WINAPI DrvSplWritePrinter(HANDLE hDriver, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);
KQXL_EXPORT BOOL WINAPI DrvSplStartPage(HANDLE hDriver);
KQXL_EXPORT BOOL WINAPI DrvSplEndPage(HANDLE hDriver);
KQXL_EXPORT void WINAPI DrvSplEndDoc(HANDLE hDriver);
KQXL_EXPORT void WINAPI DrvSplAbort(HANDLE hDriver);
KQXL_EXPORT void WINAPI DrvSplClose(HANDLE hDriver);
}
