// Text held back between the capture markers and written at the end of the page.
#pragma once

#include "spooler/records.h"

BOOL TextCaptureWrite(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);
BOOL TextCaptureEndPage(JobData* pData);
