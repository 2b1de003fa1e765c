// The job record: one job, from DrvSplStartDoc to DrvSplClose, with its
// settings, its plan, its page index and everything it holds.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <winspool.h>

#include <cassert>

#include "job/booklet_store.h"
#include "job/plan.h"
#include "job/settings.h"

// Event bits of JobData::dwStatus.
constexpr DWORD STATUS_STARTED = 1;
constexpr DWORD STATUS_ENDDOC = 2;
constexpr DWORD STATUS_ABORTED = 4;

// Where the job is in its life (job/lifecycle.h draws the edges). Zero is
// no state: a record DrvSplStartDoc has not made.
enum class JobState : BYTE { Created = 1, Receiving, Ended, Cancelled, Closed };

// What has happened once in the job, as bits of JobData::dwFacts: what is
// made or said once a job is not made or said again.
enum JobFact : DWORD {
  FACT_SECOND_WATERMARK_MADE = 0x01,     // the other orientation's watermark
  FACT_PORTRAIT_WATERMARK_TRIED = 0x02,  // its making was tried, whatever came of it
  FACT_LANDSCAPE_WATERMARK_TRIED = 0x04,
  FACT_WATERMARK_MISSING_SAID = 0x08,       // a job without its watermark says so once
  FACT_FORM_MISSING = 0x10,                 // its form could not be served: its pages print without it
  FACT_FORM_RESOLUTION_CHECKED = 0x20,      // the form's resolution against the job's, once
  FACT_OVERLAY_WRITE_FAILURE_SHOWN = 0x40,  // its box is shown once a job
  FACT_FORM_PAGE_CHECKED = 0x80,            // the form's paper and orientation against the job's, once
};

constexpr DWORD JOB_SIGNATURE = 0x44525347;  // "GSRD"
constexpr DWORD JOB_SIGNATURE_CLOSED = 0xDEADF00D;

// The page index of the spool file. It grows with the job, so that any
// number of pages is indexed; entries past its capacity read as 0.
struct FILE_INFO {
  INT iTotalPage;             // page-start markers seen
  DWORD dwCount;              // bytes in the spool file
  GlobalArray<DWORD> dwPage;  // dwPage[i]: where page i+1 starts; dwPage[iTotalPage]: where the pages end
  BOOL bPagesEnded;           // the end-of-pages marker set dwPage[iTotalPage]
  DWORD dwHeaderLostAt;       // where the last buffer before the first page that was not stored would have gone
};

inline DWORD PageOffset(const FILE_INFO& index, INT i) { return i >= 0 ? index.dwPage.At(static_cast<DWORD>(i)) : 0; }

// What every replay relies on, checked in debug builds as each entry goes
// in (its newest entries) and before the replay (all of them): page starts
// ascending, none past the file's end.
void AssertWholePageIndex(const FILE_INFO& index);
inline void AssertPageIndex(const FILE_INFO& index) {
  assert(index.iTotalPage >= 0);
  DWORD last = PageOffset(index, index.bPagesEnded ? index.iTotalPage : index.iTotalPage - 1);
  assert(last <= index.dwCount);
  assert(index.iTotalPage == 0 || PageOffset(index, index.iTotalPage - 1) <= last);
  (void)last;
}

// The job's text capture: the file a stretch goes into while it is captured
// (hTextfile), and after its stop marker until the page ends (hsavedTextfile).
// Null or INVALID_HANDLE_VALUE: none.
struct TEXT_CAPTURE {
  HANDLE hTextfile;
  HANDLE hsavedTextfile;
  DWORD dwTextfileCount;   // bytes captured and not yet replayed
  WCHAR szFile[MAX_PATH];  // the capture file's full path, while there is one
};

// One job, from DrvSplStartDoc to DrvSplClose; its address is the job
// handle the spooler holds.
struct JobData {
  DWORD dwSignature;
  HANDLE hPrinter;
  DWORD dwJobId;
  DWORD dwStatus;  // STATUS_* bits: what happened, for the record; decisions go by eState
  JobState eState;
  DWORD dwFacts;  // JobFact bits
  // What the job does, decoded from Settings (PlanJob, ReplanJob).
  JobPlan plan;
  DWORD dwPageNumber;
  FILE_INFO file_info;
  WCHAR szTempPath[MAX_PATH];
  WCHAR szTempFile[MAX_PATH];
  HANDLE hTempFile;
  BYTE abPagePrefix[2][4];

  // The job's own settings: taken from its first buffer, seeded at start
  // from the last settings its printer's jobs brought, so that jobs on
  // different printers never see each other's.
  KQDEVMODE Settings;
  WCHAR szPrinter[MAX_PATH];  // the printer's name, empty when it could not be read
  // The overlay library reference this job took at its start.
  HMODULE hJobOverlay;
  // The booklet record's snippets and the pages' orientations.
  BOOKLET_INFO booklet_info;
  TEXT_CAPTURE text;
  // The overlay file being recorded, from the creation prompt to the end of
  // the document (or the close).
  HANDLE hOvlyFile;
  // The scanner component, loaded by the job's port acquire.
  HMODULE hDll;
  // The job's own watermark data, portrait and landscape: read back from the
  // watermark file as soon as the job has made it, since the files are one
  // per machine and another printer's job may make them again meanwhile.
  BYTE* pWatermark[2];
  DWORD dwWatermarkSize[2];
  // Printer writes of the replay that failed: a replay goes on past them,
  // and its end reports them.
  DWORD dwFailedReplayWrites;
};

inline bool HasFact(const JobData* pData, JobFact fact) { return (pData->dwFacts & fact) != 0; }
inline void SetFact(JobData* pData, JobFact fact) { pData->dwFacts |= fact; }
// True the first time it is asked for a fact, which it then sets.
inline bool FirstTime(JobData* pData, JobFact fact) {
  if (HasFact(pData, fact)) return false;
  SetFact(pData, fact);
  return true;
}
// The watermark of an orientation's slot (0 portrait, 1 landscape) was tried.
inline JobFact WatermarkTried(int slot) {
  return slot == 0 ? FACT_PORTRAIT_WATERMARK_TRIED : FACT_LANDSCAPE_WATERMARK_TRIED;
}

// What the hooks rely on between two calls, checked in debug and sanitizer
// builds (nothing in release builds): the handle is a live job's, its plan
// agrees with its spool file, its page index ascends within the file, its
// captured bytes have their file. A broken one stops the tests there,
// rather than corrupting a job further on.
void AssertJobRecord(const JobData* pData);

// Decodes the job's plan from its settings, which came from `source`.
void PlanJob(JobData* pData, SettingsSource source);
// Decodes it again after the job's settings changed, from the same source.
void ReplanJob(JobData* pData);
