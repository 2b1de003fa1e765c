// Manual duplex services, shared with the software booklet driver.
#pragma once

#include "spooler/records.h"

// The document name carried from the first spooler document to the second.
extern WCHAR g_cMDJobName[MAX_PATH];

// The re-insert prompt, or the utility library's dialog, as the language
// INI file says ("MD_ManualDuplex").
void ShowManualDuplexMsg(INT nSheets, HANDLE hPrinter);
// Copies the instruction page file of the job's orientation to the printer.
void PrintInstructionPage(JobData* pData, HANDLE hPrinter);
// 1 ends the current spooler document, 0 starts the next under the same name.
DWORD NotifySpooler(HANDLE hPrinter, SHORT nMode, DWORD dwJobId);
