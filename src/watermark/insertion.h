// The watermark block and the overlay stream block that take the place of
// the rendering side's markers.
#pragma once

#include "spooler/records.h"

BOOL UMPD_XLFN_PushGraphicStates(HANDLE hPrinter);
BOOL UMPD_XLFN_PopGraphicStates(HANDLE hPrinter);

// The watermark data of the job's current orientation, to the printer.
BOOL PrintWatermark(JobData* pData);
// The overlay stream block, to the printer.
BOOL PrintOverlay(JobData* pData);

// The blocks in their spool form, appended to the spool file.
BOOL SpoolWatermarkBlock(JobData* pData);
BOOL SpoolOverlayBlock(JobData* pData);

// The watermark data of the job's current orientation: with a null buffer
// its size, else the data. FALSE on failure.
BOOL ReadWatermarkData(JobData* pData, BYTE* pBuffer, DWORD* pcbData);

// The watermark block in its direct form: push, clip to page (unless
// wNoClipToPage), raster operation, watermark data, pop.
BOOL WriteDirectWatermarkBlock(JobData* pData);
