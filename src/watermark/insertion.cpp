#include "watermark/insertion.h"

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
