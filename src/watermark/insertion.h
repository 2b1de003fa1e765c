// The watermark block and the overlay stream block that take the place of
// the rendering side's markers, in their three forms: direct to the
// printer, into the spool file, into an overlay being recorded.
#pragma once

#include "spooler/records.h"
#include "support/guards.h"
#include "watermark/files.h"

BOOL UMPD_XLFN_PushGraphicStates(HANDLE hPrinter);
BOOL UMPD_XLFN_PopGraphicStates(HANDLE hPrinter);

// Whether the page now printing gets the watermark: every page, or only the
// first with wWatermarkFirstOnly.
bool WatermarkWantedOnPage(const JobData* pData);

// The job's watermark data to the printer in one write.
BOOL PrintWatermark(JobData* pData);
// The overlay stream block to the printer.
BOOL PrintOverlay(JobData* pData);

// The direct form: push, clip to page (unless wNoClipToPage), raster
// operation, watermark data, pop; nothing at all for a job without its
// watermark data.
BOOL WriteDirectWatermarkBlock(JobData* pData);

// The spool forms, through the spool file's writer (which the spool file
// passes in, so that this file needs nothing of it): the watermark always
// clipped to the page, the overlay stream whole or failed.
using BlockWriter = BOOL (*)(JobData* pData, const void* bytes, DWORD count);
BOOL WatermarkBlockInto(JobData* pData, BlockWriter write);
BOOL OverlayBlockInto(JobData* pData, BlockWriter write);

// The recording form's bytes around the watermark data, for an overlay being
// recorded: clip to page and raster operation, no push and no pop. A failed
// write of the data shows "Failed in Writing Overlay file".
BOOL WriteRecordingWatermarkBlock(JobData* pData, HANDLE hFile);

// The overlay stream block's length field for S overlay bytes: the stream's
// header line and the overlay. FALSE when it does not fit 32 bits.
BOOL OverlayStreamLength(DWORD overlaySize, DWORD* n);

// The comment of the overlay stream's header line.
extern const char kOverlayComment[];

// "Failed in Writing Overlay file": the box the first time in a job, a
// trace after it.
void ReportOverlayWriteFailure(JobData* pData);
