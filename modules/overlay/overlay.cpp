// The overlay library: serves an overlay file recorded by overlay creation
// as the content of a PCL XL user-defined stream. The file holds the
// recorded printer data as it is; getOverlaySize names the file and
// ReadOverlay delivers it.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#ifdef _WIN32
#define OVERLAY_EXPORT
#else
#define OVERLAY_EXPORT __attribute__((visibility("default")))
#endif

namespace {

WCHAR g_file[MAX_PATH];
DWORD g_size;

HANDLE OpenOverlay() {
  return CreateFileW(g_file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

extern "C" {

OVERLAY_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// The size ReadOverlay will deliver for that file; 0 when it cannot be read.
OVERLAY_EXPORT DWORD WINAPI getOverlaySize(const CHAR* szOverlayFile) {
  g_file[0] = 0;
  g_size = 0;
  if (!szOverlayFile || !szOverlayFile[0]) return 0;
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, szOverlayFile, -1, g_file, MAX_PATH) == 0) {
    g_file[0] = 0;
    return 0;
  }
  HANDLE file = OpenOverlay();
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  CloseHandle(file);
  if (size == INVALID_FILE_SIZE || high != 0) return 0;
  g_size = size;
  return size;
}

// Fills the buffer with exactly the size last reported; 0 on failure.
OVERLAY_EXPORT DWORD WINAPI ReadOverlay(BYTE* pBuffer) {
  if (!pBuffer || g_size == 0) return 0;
  HANDLE file = OpenOverlay();
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD read = 0;
  BOOL ok = ReadFile(file, pBuffer, g_size, &read, nullptr);
  CloseHandle(file);
  return ok && read == g_size ? 1 : 0;
}

}  // extern "C"
