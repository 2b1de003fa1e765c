// The temporary spool file with its page index.
#pragma once

#include "spooler/records.h"

// The replay mode bits (manual duplex, booklet, reverse, collation, OHP)
// that these settings ask for.
DWORD ReplayFlagsFor(const KQDEVMODE& settings);

// Whether a job with these settings goes through the spool file: it asks for
// a replay, and it is neither a bypass job (its data goes to the printer as
// it comes) nor a form being recorded (its first page goes to the form).
// Decided once, after the overlay creation prompt: a recording cancelled
// there has turned its overlay mode off and is spooled when it asks for it.
bool JobIsSpooled(const KQDEVMODE& settings);

BOOL InitFileOperation(JobData* pData);
BOOL WriteToFile(JobData* pData, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);

// Appends bytes to a file that holds *pdwCount counted bytes and advances the
// count by them. FALSE, traced, with nothing counted and the file's position
// back at the count, when the write fails or fails partly, or would take the
// count past 4 GiB - 1 (offsets and counts are 32-bit). szWhat names the file.
BOOL AppendCounted(HANDLE hFile, DWORD* pdwCount, const void* bytes, DWORD count, LPCWSTR szWhat);

// Appends bytes to the spool file and advances dwCount by them. FALSE, with
// nothing stored and the index unchanged, when the write fails or would take
// the file past 4 GiB - 1 (page offsets are 32-bit).
BOOL SpoolWrite(JobData* pData, const void* bytes, DWORD count);

// Closes and deletes the spool file and frees the page index.
void ReleaseSpoolFile(JobData* pData);
