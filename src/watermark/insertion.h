// The watermark block and the overlay stream block that take the place of
// the rendering side's markers, in their three forms: direct to the
// printer, into the spool file, into an overlay being recorded.
#pragma once

#include "spooler/records.h"

BOOL UMPD_XLFN_PushGraphicStates(HANDLE hPrinter);
BOOL UMPD_XLFN_PopGraphicStates(HANDLE hPrinter);

// The watermark file of the settings' orientation.
void WatermarkFilePath(SHORT dmOrientation, LPWSTR szPath);

constexpr INT WATERMARK_SIZE = 0;  // ReadWatermarkData: the file's size
constexpr INT WATERMARK_READ = 1;  // the file's bytes

// Mode 0 stores the watermark file's size; mode 1 fills the buffer with the
// whole file; any other mode only checks that the file opens. The file is
// that of the job's current orientation.
BOOL ReadWatermarkData(const KQDEVMODE& settings, BYTE* pBuffer, DWORD* pdwSize, INT mode);

// The watermark file's bytes to the printer in one write.
BOOL PrintWatermark(JobData* pData);
// The overlay stream block to the printer.
BOOL PrintOverlay(JobData* pData);

// The direct form: push, clip to page (unless wNoClipToPage), raster
// operation, watermark data, pop.
BOOL WriteDirectWatermarkBlock(JobData* pData);

// The spool forms, appended to the spool file.
BOOL SpoolWatermarkBlock(JobData* pData);
BOOL SpoolOverlayBlock(JobData* pData);

// The recording form's bytes around the watermark data, for an overlay being
// recorded: clip to page and raster operation, no push and no pop. A failed
// write of the data shows "Failed in Writing Overlay file".
BOOL WriteRecordingWatermarkBlock(JobData* pData, HANDLE hFile);

// The overlay stream block's length field N = L + S + 3 for S overlay
// bytes: FALSE when it does not fit 32 bits.
BOOL OverlayStreamLength(DWORD overlaySize, DWORD* n);

// The stream-header text of the overlay stream block.
extern const char kOverlayStreamHeader[];
