#include "job/lifecycle.h"

#include "support/text.h"

namespace {

// clang-format off
// kMoves[from][to]: the edges of the job's life (the drawing in the header).
constexpr bool kMoves[6][6] = {
    //             -      Created Receiving Ended  Cancelled Closed
    /* -        */ {false, true,   false,    false, false,    false},
    /* Created  */ {false, false,  true,     true,  true,     true},
    /* Receiving*/ {false, false,  false,    true,  true,     true},
    /* Ended    */ {false, false,  false,    false, true,     true},
    /* Cancelled*/ {false, false,  false,    false, false,    true},
    /* Closed   */ {false, false,  false,    false, false,    false},
};
// clang-format on

}  // namespace

bool CanMoveJob(JobState from, JobState to) {
  auto f = static_cast<size_t>(from), t = static_cast<size_t>(to);
  return f < 6 && t < 6 && kMoves[f][t];
}

void MoveJob(JobData* pData, JobState to) {
  assert(CanMoveJob(pData->eState, to));
  pData->eState = to;
}

void AssertJobState(const JobData* pData) {
  assert(pData->eState >= JobState::Created && pData->eState < JobState::Closed);
  // The event bits agree with the state: a job that reached its end or was
  // cancelled says so.
  assert(pData->eState != JobState::Ended || (pData->dwStatus & STATUS_ENDDOC));
  (void)pData;
}

void CancelJob(JobData* pData) {
  if (pData->eState == JobState::Cancelled || pData->eState == JobState::Closed) return;
  MoveJob(pData, JobState::Cancelled);
  DWORD error = GetLastError();
  Trace(TEXT("The job was cancelled: nothing more of it is printed.\n"));
  SetLastError(error);
}

bool RefusedAsCancelled(JobData* pData) {
  if (GetLastError() != ERROR_PRINT_CANCELLED) return false;
  CancelJob(pData);
  return true;
}
