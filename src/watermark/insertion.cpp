#include "watermark/insertion.h"

#include "spool/spoolfile.h"
#include "support/guards.h"
#include "support/text.h"

namespace {

constexpr BYTE kPushGS = 0x61;
constexpr BYTE kPopGS = 0x60;
constexpr BYTE kSetClipToPage = 0x69;
// ubyte 252 (source OR paint), attribute ROP3, SetROP.
constexpr BYTE kRopSetting[5] = {0xC0, 0xFC, 0xF8, 0x2C, 0x7B};

BOOL WriteBytes(HANDLE hPrinter, const BYTE* bytes, DWORD count) {
  DWORD written = 0;
  return WritePrinter(hPrinter, const_cast<BYTE*>(bytes), count, &written);
}

}  // namespace

BOOL UMPD_XLFN_PushGraphicStates(HANDLE hPrinter) { return WriteBytes(hPrinter, &kPushGS, 1); }

BOOL UMPD_XLFN_PopGraphicStates(HANDLE hPrinter) { return WriteBytes(hPrinter, &kPopGS, 1); }

// The watermark files are not made yet: there is no data to insert.
BOOL ReadWatermarkData(JobData*, BYTE*, DWORD* pcbData) {
  *pcbData = 0;
  return TRUE;
}

BOOL PrintWatermark(JobData*) { return TRUE; }

// The overlay stream block is not built yet: nothing is inserted.
BOOL PrintOverlay(JobData*) { return TRUE; }

BOOL WriteDirectWatermarkBlock(JobData* pData) {
  HANDLE hPrinter = pData->hPrinter;
  if (!UMPD_XLFN_PushGraphicStates(hPrinter)) return FALSE;
  if (pData->Settings.wNoClipToPage == 0) WriteBytes(hPrinter, &kSetClipToPage, 1);
  if (!WriteBytes(hPrinter, kRopSetting, sizeof kRopSetting)) return FALSE;
  if (!PrintWatermark(pData)) return FALSE;
  return UMPD_XLFN_PopGraphicStates(hPrinter);
}

BOOL SpoolWatermarkBlock(JobData* pData) {
  DWORD size = 0;
  if (!ReadWatermarkData(pData, nullptr, &size)) return FALSE;
  GlobalBlock<BYTE> data(size ? size : 1);
  if (!data) {
    ShowMessage(TEXT("failed to allocate memeory"), MB_ICONERROR);
    return FALSE;
  }
  if (!ReadWatermarkData(pData, data.get(), &size)) {
    data.reset();
    ShowMessage(TEXT("failed to read watermark data"), MB_ICONERROR);
    return FALSE;
  }
  // The spool form always clips to the page.
  return SpoolWrite(pData, &kPushGS, 1) && SpoolWrite(pData, &kSetClipToPage, 1) &&
         SpoolWrite(pData, kRopSetting, sizeof kRopSetting) && SpoolWrite(pData, data.get(), size) &&
         SpoolWrite(pData, &kPopGS, 1);
}

// The overlay stream block is not built yet: nothing is inserted.
BOOL SpoolOverlayBlock(JobData*) { return TRUE; }
