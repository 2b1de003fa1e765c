// The process-wide booklet store: the orientation of every page of the
// booklet job being spooled. Read and written inside UmpdSection.
#pragma once

#include "spooler/records.h"

struct BOOKLET_INFO {
  BYTE* pOrientation;     // one dmOrientation code per page
  INT iOrientationSize;   // its capacity in entries
  const JobData* pOwner;  // the job that filled it
};

extern BOOKLET_INFO booklet_info;

// Frees the orientation array if `job` filled it.
void ReleaseOrientationArray(const JobData* job);
