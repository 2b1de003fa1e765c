// The booklet record from the rendering side.
#pragma once

#include "spooler/records.h"

// Takes the booklet record (a page marker with code 0x00).
BOOL InitBooklet(JobData* pData, const BYTE* pRecord, DWORD cbRecord);
