// The temporary spool file with its page index.
#pragma once

#include "spooler/records.h"

// The replay mode bits (manual duplex, booklet, reverse, collation, OHP)
// that these settings ask for; a job is spooled exactly when there is one.
DWORD ReplayFlagsFor(const KQDEVMODE& settings);

BOOL InitFileOperation(JobData* pData);
BOOL WriteToFile(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);
