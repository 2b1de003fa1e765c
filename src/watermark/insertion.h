// The watermark block and the overlay stream block that take the place of
// the rendering side's markers, in their three forms: direct to the
// printer, into the spool file, into an overlay being recorded.
#pragma once

#include "job/record.h"
#include "support/guards.h"
#include "watermark/files.h"

// Whether the page now printing gets the watermark: every page, or only the
// first.
bool WatermarkWantedOnPage(const JobData* pData);

// Writes bytes where a block goes: the printer, the spool file.
using BlockWriter = BOOL (*)(JobData* pData, const void* bytes, DWORD count);
// The direct form's writer: the job's printer.
BOOL PrinterWrite(JobData* pData, const void* bytes, DWORD count);

// The direct form goes to the printer and clips to the page unless
// wNoClipToPage says not to; the spool form always clips (the spool file's
// writer is passed in, so that this file needs nothing of it).
enum class BlockForm { Direct, Spool };
enum class MarkerOutcome { NotAMarker, Replaced, Failed };
// A watermark or overlay marker: in its place, through `write`, the block
// the page wants (the overlay stream where the job prints a form, the
// watermark on the pages that take it), and the marker counted as written.
// Failed when a block could not be written whole; its box or trace has
// said so. A job without its watermark or form writes nothing for it.
MarkerOutcome ReplaceMarker(JobData* pData, const BYTE* p, DWORD n, BlockForm form, BlockWriter write,
                            LPDWORD pcWritten);

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
