// Text held back between the capture markers and written at the end of the
// page. The capture belongs to the job: its file is textout.teq beside the
// driver, or a file of its own beside it when another job holds that one.
#pragma once

#include "job/record.h"

BOOL TextCaptureWrite(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);
// The replay at DrvSplEndPage.
BOOL TextCaptureEndPage(JobData* pData);
// At the end of the document: text still captured or awaiting replay goes to
// the printer, and the file goes.
void TextCaptureEndDoc(JobData* pData);
// At the close: the file goes, whatever it holds.
void TextCaptureClose(JobData* pData);
