#include "job/record.h"

#include "job/lifecycle.h"
#include "support/guards.h"

void PlanJob(JobData* pData, SettingsSource source) {
  pData->plan = PlanFor(pData->Settings, source);
  // A booklet record makes a spooled job a booklet, whatever else it asked for.
  if (pData->plan.bSpooled && pData->booklet_info.bHaveRecord) pData->plan.replay = BookletOrderFor(pData->Settings);
}

void ReplanJob(JobData* pData) { PlanJob(pData, pData->plan.source); }

void AssertJobRecord(const JobData* pData) {
#ifndef NDEBUG
  assert(pData->dwSignature == JOB_SIGNATURE);
  assert(pData->dwStatus & STATUS_STARTED);  // a record DrvSplStartDoc made
  AssertJobState(pData);
  const JobPlan& plan = pData->plan;
  assert(plan.bSpooled || plan.replay == ReplayOrder::None);
  assert(!plan.bSpooled || plan.source == SettingsSource::JobRecord);
  // A spooled job made its spool file, or tried (INVALID_HANDLE_VALUE); no
  // other job has one.
  assert(plan.bSpooled == (pData->hTempFile != nullptr));
  AssertPageIndex(pData->file_info);
  // Captured bytes are in a capture file until they are replayed.
  const TEXT_CAPTURE& t = pData->text;
  assert(t.dwTextfileCount == 0 || IsOpenHandle(t.hTextfile) || IsOpenHandle(t.hsavedTextfile));
#else
  (void)pData;
#endif
}

void AssertWholePageIndex(const FILE_INFO& index) {
#ifndef NDEBUG
  assert(index.iTotalPage >= 0);
  INT entries = index.iTotalPage + (index.bPagesEnded ? 1 : 0);
  DWORD previous = 0;
  for (INT i = 0; i < entries; ++i) {
    DWORD at = PageOffset(index, i);
    assert(previous <= at && at <= index.dwCount);
    previous = at;
  }
#else
  (void)index;
#endif
}
