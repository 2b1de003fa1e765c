#include "spool/spoolfile.h"

DWORD ReplayFlagsFor(const KQDEVMODE& s) {
  DWORD flags = 0;
  if (s.wMediaType == 3 && s.wOhpMode > 0) flags |= FLAG_OHP;
  if (s.wCollate == 1 && s.dm.dmCopies > 1 && s.wPrinterCopies == 0) flags |= FLAG_COLLATE;
  if (s.wReverseOrder != 0) flags |= FLAG_REVERSE;
  if (s.wManualDuplex != 0) flags |= FLAG_MANUAL_DUPLEX;
  if (s.wBooklet != 0) flags |= FLAG_BOOKLET;
  return flags;
}

// Spooling is not built yet: jobs that ask for it print directly, in order.
BOOL InitFileOperation(JobData*) { return FALSE; }

BOOL WriteToFile(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  return WritePrinter(pData->hPrinter, pBuf, cbBuf, pcWritten);
}
