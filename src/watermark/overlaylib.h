// The overlay library beside the driver: base name + "O.DLL", with the
// exports "getOverlaySize" and "ReadOverlay".
#pragma once

#include "job/record.h"

using GetOverlaySizeFn = DWORD(WINAPI*)(const CHAR* szOverlayFile);
using ReadOverlayFn = DWORD(WINAPI*)(BYTE* pBuffer);
// Optional: the resolution a form was drawn at, where its page says it; 0
// when it does not. Libraries without it say nothing.
using GetOverlayResolutionFn = DWORD(WINAPI*)(const CHAR* szOverlayFile);
// Optional: the MediaSize and Orientation of the page a form was recorded
// on (0xFFFFFFFF for one its BeginPage did not give); FALSE for no form.
using GetOverlayPageFn = BOOL(WINAPI*)(const CHAR* szOverlayFile, DWORD* mediaSize, DWORD* orientation);

// Loads the overlay library of the printer's driver; null when it is missing.
HMODULE LoadOverlayLibrary(HANDLE hPrinter);

// The size the library serves for that file; 0 when there is no library,
// it lacks its exports, or the file is no form.
DWORD OverlaySize(HMODULE hLibrary, const CHAR* szOverlayFile);

// Both exports, or FALSE when either is missing.
BOOL FindOverlayExports(HMODULE hLibrary, GetOverlaySizeFn* getSize, ReadOverlayFn* read);

// The form's resolution, where the library and the form tell it; else 0.
DWORD OverlayResolution(HMODULE hLibrary, const CHAR* szOverlayFile);
// The form's recorded page, where the library tells it; else FALSE.
BOOL OverlayPage(HMODULE hLibrary, const CHAR* szOverlayFile, DWORD* mediaSize, DWORD* orientation);
