// Manual duplex services, shared with the software booklet driver.
#pragma once

#include "spool/schedule.h"

// How the language INI file splits the passes ("MD_ManualDuplex"): 1 two
// spooler documents with the prompt between, 0 one document and the
// utility dialog, anything else one document.
INT ManualDuplexMode(HANDLE hPrinter);
// The re-insert prompt, or the utility library's dialog, as the language
// INI file says ("MD_ManualDuplex").
void ShowManualDuplexMsg(INT nSheets, HANDLE hPrinter);
// Copies the instruction page file of the job's orientation to the printer
// through the replay's transfer buffer.
void PrintInstructionPage(JobData* pData, BYTE* pBuffer);
// 1 ends the current spooler document, keeping its name in szJobName;
// 0 starts the next under that name. The name is the
// job's own: two jobs between their passes at once never swap titles.
DWORD NotifySpooler(HANDLE hPrinter, SHORT nMode, DWORD dwJobId, WCHAR (&szJobName)[MAX_PATH]);
// Between the passes: the spooler document ends, the user is asked to put
// the sheets back (or shown the utility dialog) when `prompt`, and the next
// document starts under the same name. FALSE when the next document was
// not started: the spooler could not end the one or start the next
// (traced; the user is then not asked for anything), or the user cancelled
// the job (then nobody is asked anything after the cancel).
BOOL EndDocumentAndPrompt(JobData* pData, INT nSheets, bool prompt);
// A two-pass job whose second document could not be started: the message
// box, and the replay ends.
void SecondPassLost();
// Only 0 and 1 are orders of the fronts; any other prints none, which the
// trace says: then nobody is asked to put the sheets back for them.
bool PrintsFronts(WORD wBackSideOrder);
