// Where a job may record a form. The job names the file, and the spooler
// writes it with its own rights, so a recording may only ever make a form:
// a ".ovl" file, never in the Windows folder, the driver folder or a system
// folder, a new file only in a folder the printer's administrator lists in
// the printer data value "FormFolders" (folders separated by ';', or a
// REG_MULTI_SZ), by default <the Windows drive>\forms. What lies in the way
// is replaced only when it is a recorded form itself (overlayprompts.cpp).
#pragma once

#include "job/record.h"

struct RecordingTarget {
  WCHAR szPath[MAX_PATH];  // the full path with long names: what is checked is what is opened
  bool bExists;
};

// The file a recording to `szPath` may write, or FALSE with the reason traced.
BOOL FindRecordingTarget(HANDLE hPrinter, LPCWSTR szPath, RecordingTarget* target);

// Traces why a recording to `szPath` is refused.
void TraceRecordingRefused(LPCWSTR szPath, LPCWSTR szReason);
