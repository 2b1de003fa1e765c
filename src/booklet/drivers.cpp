#include "booklet/drivers.h"

// No job is spooled yet, so there is nothing to impose.
BOOL Hardware_DoBooklet(JobData*, HANDLE) { return TRUE; }
BOOL DoBooklet(JobData*, HANDLE, DWORD) { return TRUE; }
