// The temporary spool file with its page index.
#pragma once

#include "job/record.h"

// Makes the job's spool file and empties its page index. FALSE, with the
// box "Could not create temporary file." shown, when no file could be made;
// hTempFile is then INVALID_HANDLE_VALUE.
BOOL InitFileOperation(JobData* pData);

// The page index as page markers come: room for the next page start (FALSE,
// traced, when there is none, and the index is as it was), the page start at
// the spool file's end, the end of the pages (FALSE, traced, when the index
// cannot hold it).
BOOL ReserveNextPage(FILE_INFO& index);
void IndexPageStart(FILE_INFO& index);
BOOL IndexPagesEnd(FILE_INFO& index);

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
