#include "watermark/overlaylib.h"

#include "config/driverfiles.h"

HMODULE LoadOverlayLibrary(HANDLE hPrinter) {
  WCHAR base[MAX_PATH] = {}, directory[MAX_PATH] = {};
  GetDrvFileNameAndPath(hPrinter, base, directory, TEXT(".DLL"));
  WCHAR path[2 * MAX_PATH + 8];
  wsprintfW(path, TEXT("%s%s%s"), directory, base, TEXT("O.DLL"));
  return LoadLibraryW(path);
}

BOOL FindOverlayExports(HMODULE hLibrary, GetOverlaySizeFn* getSize, ReadOverlayFn* read) {
  *getSize = reinterpret_cast<GetOverlaySizeFn>(reinterpret_cast<void*>(GetProcAddress(hLibrary, "getOverlaySize")));
  *read = reinterpret_cast<ReadOverlayFn>(reinterpret_cast<void*>(GetProcAddress(hLibrary, "ReadOverlay")));
  return *getSize && *read;
}

DWORD OverlayResolution(HMODULE hLibrary, const CHAR* szOverlayFile) {
  auto resolution = reinterpret_cast<GetOverlayResolutionFn>(
      reinterpret_cast<void*>(GetProcAddress(hLibrary, "getOverlayResolution")));
  return resolution ? resolution(szOverlayFile) : 0;
}

BOOL OverlayPage(HMODULE hLibrary, const CHAR* szOverlayFile, DWORD* mediaSize, DWORD* orientation) {
  auto page = reinterpret_cast<GetOverlayPageFn>(reinterpret_cast<void*>(GetProcAddress(hLibrary, "getOverlayPage")));
  return page ? page(szOverlayFile, mediaSize, orientation) : FALSE;
}

DWORD OverlaySize(HMODULE hLibrary, const CHAR* szOverlayFile) {
  GetOverlaySizeFn getSize;
  ReadOverlayFn read;
  return hLibrary && FindOverlayExports(hLibrary, &getSize, &read) ? getSize(szOverlayFile) : 0;
}
