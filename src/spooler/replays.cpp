#include "spooler/replays.h"

#include "booklet/drivers.h"
#include "job/booklet_store.h"
#include "job/lifecycle.h"
#include "spool/replay.h"
#include "support/text.h"

void BuildReplay(const ReplayInputs& in, Schedule& out) {
  if (in.bookletWithoutRecord) return PrintInDocumentOrder(in, 1, out);
  switch (in.order) {
    case ReplayOrder::PrinterBooklet: return Hardware_DoBooklet(in, out);
    case ReplayOrder::SoftwareBooklet: return DoBooklet(in, out);
    case ReplayOrder::BookletPagesAlone: return PrintBookletPagesAlone(in, out);
    case ReplayOrder::ManualDuplex: return DoManualDuplex(in, out);
    case ReplayOrder::Transparencies: return DoOhpPrinting(in, out);
    case ReplayOrder::PageOrder: return DoReverseCollatePrn(in, out);
    case ReplayOrder::Collated: return DoCollatePrinting(in, out);
    case ReplayOrder::None: return;
  }
}

void ReplaySpooledJob(JobData* pData) {
  pData->dwFailedReplayWrites = 0;
  ReplayInputs in = DecideReplay(pData);
  if (IsBookletOrder(in.order)) DecideBooklet(pData, &in);
  ReplayExecutor executor(pData);
  BuildReplay(in, executor);
  if (IsBookletOrder(in.order)) ReleaseOrientationArray(&pData->booklet_info);
  if (!executor.started())
    ShowMessage(in.order == ReplayOrder::Collated ? TEXT("Failed in collation printing")
                                                  : TEXT("Failed to print in reverse order"),
                MB_OK);
  if (DWORD failed = pData->dwFailedReplayWrites) {
    WCHAR line[128];
    wsprintfW(line, TEXT("%lu writes to the printer failed in the replay: the job did not print whole.\n"), failed);
    Trace(line);
  }
}
