// The booklet record: the rendering side's description of a booklet job's
// sheet-side snippets, taken into the job's store.
#pragma once

#include "job/record.h"

// Takes the booklet record (a page marker with code 0x00) into the job's
// store and, for a software booklet, its page prefixes. A record that does
// not fit its slots or its buffer is refused whole, with a trace, as if it
// had not come. Always TRUE: the buffer is consumed.
BOOL InitBooklet(JobData* pData, const BYTE* pBuf, DWORD cbBuf);
