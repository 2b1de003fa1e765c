// DrvSplWritePrinter's routes that others call: the spooled one.
#pragma once

#include "job/record.h"

// A buffer of a spooled job: page markers go into the page index (the
// booklet record into the job's store), watermark and overlay markers
// become their blocks in the spool file, everything else is appended.
// FALSE when the spool file is not open or a write or the index fails.
BOOL WriteToFile(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);
