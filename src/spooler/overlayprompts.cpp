#include "spooler/overlayprompts.h"

// Recording overlays is not built yet: a creation job is refused as if the
// user had cancelled, which sends nothing and records nothing.
PromptOutcome OverlayCreatePrompt(JobData*) { return PromptOutcome::Cancelled; }

PromptOutcome OverlayQueryPrompt(JobData*) { return PromptOutcome::Confirmed; }

BOOL OverlayCaptureWrite(JobData*, LPVOID, DWORD cbBuf, LPDWORD pcWritten) {
  *pcWritten = cbBuf;
  return TRUE;
}
