// The overlay prompts at job start and the recording of a new overlay.
#pragma once

#include "spooler/records.h"

enum class PromptOutcome { Confirmed, Cancelled, Failed };

PromptOutcome OverlayCreatePrompt(JobData* pData);
PromptOutcome OverlayQueryPrompt(JobData* pData);
BOOL OverlayCaptureWrite(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);
