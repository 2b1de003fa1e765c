// Transparencies interleaved with separator sheets.
#include "spool/replay.h"
#include "support/text.h"

BOOL DoOhpPrinting(JobData* pData, HANDLE hPrinter) {
  const KQDEVMODE& s = pData->Settings;
  SHORT mode = s.wOhpMode;
  if (mode > OHP_LAST_MODE) {
    Trace(TEXT("wOhpMode above 3 makes each page its own separator.\n"));
    mode = OHP_EACH_PAGE_SEPARATES;
  }
  INT copies = ReplayCopies(pData, CollateValues::Switch);
  ReplayFraming replay(pData, hPrinter);
  if (auto start = replay.Begin(true); start != ReplayFraming::Start::Pages)
    return start == ReplayFraming::Start::SentWhole;
  INT n = replay.pages();
  bool eachItsOwn = mode == OHP_EACH_PAGE_SEPARATES;
  INT transparencies = eachItsOwn ? n : n - 1;
  bool reverse = pData->plan.bTransparenciesReversed;
  for (INT copy = 0; copy < copies; ++copy) {
    for (INT i = 0; i < transparencies; ++i) {
      INT page = reverse ? transparencies - i : i + 1;
      auto separator = [&] {
        replay.SendPrefix(0);
        replay.SendPage(eachItsOwn ? page : n);
      };
      auto transparency = [&] {
        replay.SendPrefix(1);
        replay.SendPage(page);
      };
      if (!IsOn(s.wOhpSeparatorAfter)) {
        separator();
        transparency();
      } else {
        transparency();
        separator();
      }
    }
  }
  replay.SendTrailer();
  return TRUE;
}
