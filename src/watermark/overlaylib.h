// The overlay library beside the driver: base name + "O.DLL", with the
// exports "getOverlaySize" and "ReadOverlay".
#pragma once

#include "spooler/records.h"

using GetOverlaySizeFn = DWORD(WINAPI*)(const CHAR* szOverlayFile);
using ReadOverlayFn = DWORD(WINAPI*)(BYTE* pBuffer);

// Loads the overlay library of the printer's driver; null when it is missing.
HMODULE LoadOverlayLibrary(HANDLE hPrinter);

// Both exports, or FALSE when either is missing.
BOOL FindOverlayExports(HMODULE hLibrary, GetOverlaySizeFn* getSize, ReadOverlayFn* read);
