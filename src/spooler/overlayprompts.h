// The overlay prompts at job start and the recording of a new overlay.
#pragma once

#include "job/record.h"

enum class PromptOutcome { Confirmed, Cancelled, Failed };

PromptOutcome OverlayCreatePrompt(JobData* pData);
PromptOutcome OverlayQueryPrompt(JobData* pData);
BOOL OverlayCaptureWrite(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);
// Closes the overlay being recorded, at the job's end, and asks the overlay
// library whether it is a form that can be printed; says so when it is not
// (the library's trace gives the reason, a font from before the first page
// say).
void FinishOverlayRecording(JobData* pData);
