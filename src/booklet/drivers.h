// Booklet replays: two-pass software booklets and printer-made booklets.
#pragma once

#include "job/record.h"

BOOL Hardware_DoBooklet(JobData* pData, HANDLE hPrinter);
BOOL DoBooklet(JobData* pData, HANDLE hPrinter, DWORD dwJobId);
// A booklet job without a usable record loses nothing: its pages go once in
// document order, and the trace says why.
BOOL PrintBookletInOrder(JobData* pData, HANDLE hPrinter, LPCWSTR why);
// A booklet job in neither booklet mode (neither wHardwareBooklet 2 nor
// wManualDuplex 2): every page once, in order, each alone on a side framed
// by the booklet record, since its pages have no framing of their own.
BOOL PrintBookletPagesAlone(JobData* pData, HANDLE hPrinter);
