// Booklet replays: two-pass software booklets and printer-made booklets.
#pragma once

#include "spooler/records.h"

BOOL Hardware_DoBooklet(JobData* pData, HANDLE hPrinter);
BOOL DoBooklet(JobData* pData, HANDLE hPrinter, DWORD dwJobId);
