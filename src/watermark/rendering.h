// Making the watermark files by printing an internal job through the driver.
#pragma once

#include "job/record.h"

// Prints the watermark of `settings` (the caller's own copy, changed here)
// into the watermark file of its orientation. Zero on failure.
BOOL MakeWatermarkData(KQDEVMODE* settings, HANDLE hPrinter);

// Makes the job's watermark for its current orientation and keeps what it
// made in the job (the file is read back before any other job may make it
// again); shows "Failed to makewatermark: WMark" when that fails. Made once
// per orientation and job: a failed making is not tried again.
void MakeJobWatermark(JobData* pData);

// The internal job's copy: scale 100, watermark, overlay, booklet and text
// capture off (capture mode 2 becomes 1), bypass on, so that its printer
// data reaches the file unchanged and makes no watermark of its own.
void ApplyInternalJobSettings(KQDEVMODE* settings);

// The point size drawn: with wWatermarkSizeRule 1, 115 to 119 become 114
// and 120 to 125 become 126.
SHORT WatermarkPointSize(const KQDEVMODE& settings);

// The reference point (the middle of the text's top edge) that puts the
// middle of the rotated text on the centre of the printable area.
void WatermarkReferencePoint(INT pw, INT ph, INT tmHeight, SHORT angle, SHORT offsetX, SHORT offsetY, INT* x, INT* y);
