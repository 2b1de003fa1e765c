#include "spool/replay.h"

// No job is spooled yet, so there is nothing to replay.
BOOL DoReverseCollatePrn(JobData*, HANDLE, DWORD) { return TRUE; }
BOOL DoCollatePrinting(JobData*, HANDLE) { return TRUE; }
BOOL DoOhpPrinting(JobData*, HANDLE, DWORD) { return TRUE; }
BOOL DoManualDuplex(JobData*, HANDLE, DWORD) { return TRUE; }
