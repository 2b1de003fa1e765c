// Transparencies interleaved with separator sheets.
#include "spool/replay.h"
#include "support/text.h"

BOOL DoOhpPrinting(JobData* pData, HANDLE hPrinter, DWORD dwFlags) {
  const KQDEVMODE& s = pData->Settings;
  SHORT mode = s.wOhpMode;
  if (mode > 3) {
    Trace(TEXT("wOhpMode above 3 makes each page its own separator.\n"));
    mode = 1;
  }
  INT copies = ReplayCopies(pData, CollateValues::Switch);
  ReplayFraming replay(pData, hPrinter);
  if (auto start = replay.Begin(true); start != ReplayFraming::Start::Pages)
    return start == ReplayFraming::Start::SentWhole;
  INT n = replay.pages();
  // Mode 1 separates each page with itself; 2 and 3 with the last page.
  INT transparencies = mode == 1 ? n : n - 1;
  bool reverse = (dwFlags & FLAG_REVERSE) != 0;
  for (INT copy = 0; copy < copies; ++copy) {
    for (INT i = 0; i < transparencies; ++i) {
      INT page = reverse ? transparencies - i : i + 1;
      auto separator = [&] {
        replay.SendPrefix(0);
        replay.SendPage(mode == 1 ? page : n);
      };
      auto transparency = [&] {
        replay.SendPrefix(1);
        replay.SendPage(page);
      };
      if (s.wOhpSeparatorAfter == 0) {
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
