// Booklet replays: two-pass software booklets and printer-made booklets.
#pragma once

#include "spooler/records.h"

BOOL Hardware_DoBooklet(JobData* pData, HANDLE hPrinter);
BOOL DoBooklet(JobData* pData, HANDLE hPrinter, DWORD dwJobId);
// A booklet job that cannot be imposed (no usable record, or neither
// booklet mode) loses nothing: its pages go once in document order, and
// the trace says why.
BOOL PrintBookletInOrder(JobData* pData, HANDLE hPrinter, LPCWSTR why);
