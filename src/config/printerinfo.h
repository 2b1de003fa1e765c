// What the spooler tells of the printer and its driver: its information
// blocks, and the driver's base name and folder.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <winspool.h>

#include "support/guards.h"

// The printer's and its driver's level-2 information, in blocks that free
// themselves; empty on failure.
GlobalBlock<PRINTER_INFO_2W> MyGetPrinter(HANDLE hPrinter);
GlobalBlock<DRIVER_INFO_2W> MyGetPrinterDriver(HANDLE hPrinter);
// The job's level-1 information; empty on failure.
GlobalBlock<JOB_INFO_1W> MyGetJob(HANDLE hPrinter, DWORD dwJobId);
// Whether the queue's user deleted the job: the spooler reports it being
// deleted, or has it no more. Asked where no write would tell, before the
// user is asked to put sheets back and before a new document starts.
bool JobDeletedInQueue(HANDLE hPrinter, DWORD dwJobId);

// The folder of the printer's driver as the spooler reports it (the
// directory of its driver path, with its backslash, as spelt there): every
// file of the driver's that the component writes or reads lives there, so
// that a 64-bit driver (x64\3) and a 32-bit one (w32x86\2) each keep their
// own. FALSE, with the folder empty, when the spooler cannot tell it.
BOOL DriverFolder(HANDLE hPrinter, WCHAR (&szFolder)[MAX_PATH]);
// The path of the driver's file `szName` in its folder; FALSE, empty, when
// the folder is not known or the path would not fit.
BOOL DriverFilePath(HANDLE hPrinter, LPCWSTR szName, WCHAR (&szPath)[MAX_PATH]);
// `szName` in a folder given with its backslash; FALSE, empty, when the
// path would not fit.
BOOL FileInFolder(LPCWSTR szFolder, LPCWSTR szName, WCHAR (&szPath)[MAX_PATH]);

// The driver path's directory (with its backslash) and base name (without
// the pattern), both upper-cased.
BOOL GetDrvFileNameAndPath(HANDLE hPrinter, WCHAR (&szBaseName)[MAX_PATH], WCHAR (&szDirectory)[MAX_PATH],
                           LPCWSTR szPattern);
