// The watermark files, one per orientation and machine, and the job's own
// copy of what it made: the files may be made again by another printer's
// job at any time, so every insertion uses the job's copy.
#include "watermark/files.h"

#include "config/printerinfo.h"
#include "support/text.h"

int WatermarkSlot(SHORT dmOrientation) {
  return dmOrientation == DMORIENT_PORTRAIT ? 0 : dmOrientation == DMORIENT_LANDSCAPE ? 1 : -1;
}

BOOL WatermarkFilePath(HANDLE hPrinter, SHORT dmOrientation, WCHAR (&szPath)[MAX_PATH]) {
  LPCWSTR name = dmOrientation == DMORIENT_PORTRAIT    ? TEXT("kqpcl6.wmk")
                 : dmOrientation == DMORIENT_LANDSCAPE ? TEXT("kqpcl6_2.wmk")
                                                       : TEXT("");
  return DriverFilePath(hPrinter, name, szPath);
}

BOOL ReadWatermarkData(HANDLE hPrinter, const KQDEVMODE& settings, GlobalBlock<BYTE>* data, DWORD* size) {
  WCHAR path[MAX_PATH];
  WatermarkFilePath(hPrinter, settings.dm.dmOrientation, path);
  FileHandle file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  // A box waiting for the user holds neither the file nor the buffer.
  auto fail = [&](LPCWSTR message) {
    data->reset();
    file.reset();
    ShowMessage(message, MB_OK);
    return FALSE;
  };
  if (!file.valid()) return fail(TEXT("Failed to CreateFile"));
  *size = GetFileSize(file.get(), nullptr);
  if (*size == INVALID_FILE_SIZE) return fail(TEXT("Failed to GetFileSize"));
  *data = GlobalBlock<BYTE>(*size ? *size : 1);
  if (!*data) return fail(TEXT("failed to allocate memeory"));
  LONG high = 0;
  if (SetFilePointer(file.get(), 0, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    return fail(TEXT("Failed to SetFilePointer"));
  DWORD read = 0;
  if (!ReadFile(file.get(), data->get(), *size, &read, nullptr)) return fail(TEXT("Failed to ReadFile"));
  *size = read;  // what the file delivered, and nothing beyond it
  return TRUE;
}

BOOL KeepJobWatermark(JobData* pData) {
  int slot = WatermarkSlot(pData->Settings.dm.dmOrientation);
  GlobalBlock<BYTE> data;
  DWORD size = 0;
  if (!ReadWatermarkData(pData->hPrinter, pData->Settings, &data, &size)) return FALSE;
  if (slot < 0) return TRUE;  // no file of its own: the path is the driver folder
  if (pData->pWatermark[slot]) GlobalFree(pData->pWatermark[slot]);
  pData->pWatermark[slot] = data.release();
  pData->dwWatermarkSize[slot] = size;
  return TRUE;
}

void ReleaseJobWatermarks(JobData* pData) {
  for (int slot = 0; slot < 2; ++slot) {
    if (pData->pWatermark[slot]) GlobalFree(pData->pWatermark[slot]);
    pData->pWatermark[slot] = nullptr;
    pData->dwWatermarkSize[slot] = 0;
  }
}
