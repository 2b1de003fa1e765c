// The state the component keeps beyond one job: the module, the two
// critical sections and the settings each printer's jobs last brought.
#pragma once

#include "job/record.h"

// Process-wide state. Shared values are read and written only inside
// UmpdSection, which is never held across a message box, a call into
// another module or the nested watermark job.
extern HINSTANCE hInst;
extern CRITICAL_SECTION UmpdSection;
// Held by a job while it makes a watermark file and reads it back, so that
// no other job's making comes in between (the files are one per machine).
// Its boxes wait until it is released (HeldMessages).
extern CRITICAL_SECTION WatermarkSection;

// RAII guards for the two critical sections.
template <CRITICAL_SECTION& Section>
class SectionLock {
 public:
  SectionLock() { EnterCriticalSection(&Section); }
  ~SectionLock() { LeaveCriticalSection(&Section); }
  SectionLock(const SectionLock&) = delete;
  SectionLock& operator=(const SectionLock&) = delete;
};
using UmpdLock = SectionLock<UmpdSection>;
using WatermarkLock = SectionLock<WatermarkSection>;

// The settings a printer's jobs last brought, kept per printer name for a
// later job of that printer whose first buffer is none (zero until one
// came). A job whose printer has no name shares nothing. The internal
// watermark job's settings are never kept: they would make the next job a
// bypass job.
void CapturePrinterSettings(const JobData* pData);
void ReadPrinterSettings(JobData* pData);

// While one lives an internal watermark job is being made (one at a time:
// WatermarkSection), and bypass settings are taken for that job's: the
// spooler may hand its settings record on changed, so no byte compare.
class InternalJobMaking {
 public:
  InternalJobMaking();
  ~InternalJobMaking();
  InternalJobMaking(const InternalJobMaking&) = delete;
  InternalJobMaking& operator=(const InternalJobMaking&) = delete;
};
