// The job's life as states, and where the spooler's word that the user
// cancelled the job is heard.
//
//                   first buffer                 DrvSplEndDoc
//   ─► Created ──────────────────► Receiving ──────────────────► Ended
//   DrvSplStartDoc   │                  │                          │
//                    │  DrvSplEndDoc, no buffer came               │
//                    ├──────────────────┼─────────────────────────►│
//                    │                  │                          │
//                    │   CancelJob: DrvSplAbort, or a write or a   │
//                    │   document the spooler refused as cancelled,│
//                    │   or the queue reporting the job deleted    │
//                    ├──────────────────┴──────────────► Cancelled ◄┘
//                    │                                      │
//   DrvSplClose, from every state: ──────────────────────► Closed (the record is freed)
//
// Each hook makes its own move, in one place: DrvSplWritePrinter the first
// buffer's (spooler/writepath.cpp), the others theirs (spooler/hooks.cpp).
// MoveJob asserts every move in debug and sanitizer builds. A hook that
// comes in a state it has no move for changes nothing (a buffer after the
// end of the document, or after the cancel, is refused).
#pragma once

#include "job/record.h"

bool CanMoveJob(JobState from, JobState to);
void MoveJob(JobData* pData, JobState to);
void AssertJobState(const JobData* pData);

inline bool JobCancelled(const JobData* pData) { return pData->eState == JobState::Cancelled; }

// The user cancelled the job: from now on nothing more of it goes to the
// printer, no replay goes on and nobody is asked anything. Traced once;
// bytes sent before stay sent. A job already closed or cancelled stays so.
void CancelJob(JobData* pData);

// Every printer write of the job: the spooler refuses a cancelled job's
// writes with ERROR_PRINT_CANCELLED, which cancels the job here too (the
// last error stays the spooler's).
// The same for a refused StartDocPrinterW: true when it was the cancel.
bool RefusedAsCancelled(JobData* pData);
inline BOOL JobPrinterWrite(JobData* pData, const void* bytes, DWORD count, LPDWORD written) {
  DWORD ignored = 0;
  BOOL ok = WritePrinter(pData->hPrinter, const_cast<void*>(bytes), count, written ? written : &ignored);
  if (!ok) RefusedAsCancelled(pData);
  return ok;
}
