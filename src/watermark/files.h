// The watermark files the internal job makes, and the job's own copy of
// them.
#pragma once

#include "job/record.h"
#include "support/guards.h"

// The slot of a job's watermark store for an orientation (portrait 0,
// landscape 1), or -1 for an orientation without a watermark file.
int WatermarkSlot(SHORT dmOrientation);

// The watermark file of an orientation, in the driver's folder; for an
// orientation without one, the folder itself (which opens as no file).
// FALSE, empty, when the driver's folder is not known.
BOOL WatermarkFilePath(HANDLE hPrinter, SHORT dmOrientation, WCHAR (&szPath)[MAX_PATH]);

// The watermark file of the settings' orientation, read whole through one
// handle: its size and its bytes in a new block. Shows the reader's
// messages ("Failed to CreateFile", "Failed to GetFileSize", "failed to
// allocate memeory", "Failed to SetFilePointer", "Failed to ReadFile").
BOOL ReadWatermarkData(HANDLE hPrinter, const KQDEVMODE& settings, GlobalBlock<BYTE>* data, DWORD* size);

// Reads the watermark file the job has just made into the job's own store,
// for its current orientation; every later insertion uses that copy.
BOOL KeepJobWatermark(JobData* pData);
// Frees the job's watermark copies.
void ReleaseJobWatermarks(JobData* pData);
