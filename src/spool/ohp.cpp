// Transparencies interleaved with separator sheets.
#include "spool/schedule.h"

void DoOhpPrinting(const ReplayInputs& in, Schedule& out) {
  INT n = in.pages;
  if (!BeginPages(n, true, out)) return;
  bool eachItsOwn = in.ohpMode == OHP_EACH_PAGE_SEPARATES;
  INT transparencies = eachItsOwn ? n : n - 1;
  for (INT copy = 0; copy < in.copies; ++copy) {
    for (INT i = 0; i < transparencies; ++i) {
      INT page = in.transparenciesReversed ? transparencies - i : i + 1;
      auto separator = [&] { return out.prefix(0) && out.page(eachItsOwn ? page : n); };
      auto transparency = [&] { return out.prefix(1) && out.page(page); };
      bool going = in.separatorAfter ? transparency() && separator() : separator() && transparency();
      if (!going) return;
    }
  }
  out.trailer();
}
