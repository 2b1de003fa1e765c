// What the spooler tells of the printer and its driver: its information
// blocks, and the driver's base name and folder.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <winspool.h>

// GlobalAlloc blocks with the printer's or its driver's information; the
// caller releases them with GlobalFree. Null on failure.
LPBYTE MyGetPrinter(HANDLE hPrinter, DWORD dwLevel);
LPBYTE MyGetPrinterDriver(HANDLE hPrinter, DWORD dwLevel);

// The driver path's directory (with its backslash) and base name (without
// the pattern), both upper-cased, MAX_PATH characters each.
BOOL GetDrvFileNameAndPath(HANDLE hPrinter, LPWSTR szBaseName, LPWSTR szDirectory, LPCWSTR szPattern);
