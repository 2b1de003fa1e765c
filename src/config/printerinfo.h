// What the spooler tells of the printer and its driver: its information
// blocks, and the driver's base name and folder.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <winspool.h>

#include "support/guards.h"

// The printer's and its driver's level-2 information, in blocks that free
// themselves; empty on failure.
GlobalBlock<PRINTER_INFO_2W> MyGetPrinter(HANDLE hPrinter);
GlobalBlock<DRIVER_INFO_2W> MyGetPrinterDriver(HANDLE hPrinter);

// The driver path's directory (with its backslash) and base name (without
// the pattern), both upper-cased.
BOOL GetDrvFileNameAndPath(HANDLE hPrinter, WCHAR (&szBaseName)[MAX_PATH], WCHAR (&szDirectory)[MAX_PATH],
                           LPCWSTR szPattern);
