#include "spooler/textcapture.h"

// Capturing is not built yet: every buffer goes to the printer at once and
// is reported written in full, as outside a captured stretch.
BOOL TextCaptureWrite(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  DWORD written = 0;
  BOOL ok = WritePrinter(pData->hPrinter, pBuf, cbBuf, &written);
  *pcWritten = cbBuf;
  return ok;
}

BOOL TextCaptureEndPage(JobData*) { return TRUE; }
