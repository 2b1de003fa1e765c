// The replay orders of a spooled job, run at the end of the document.
#pragma once

#include "spooler/records.h"

BOOL DoReverseCollatePrn(JobData* pData, HANDLE hPrinter, DWORD dwFlags);
BOOL DoCollatePrinting(JobData* pData, HANDLE hPrinter);
BOOL DoOhpPrinting(JobData* pData, HANDLE hPrinter, DWORD dwFlags);
BOOL DoManualDuplex(JobData* pData, HANDLE hPrinter, DWORD dwJobId);
