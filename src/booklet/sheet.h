// One side of a booklet sheet: its BeginPage snippet, the overlay, the two
// pages imposed on it with their origin, rotation, scale and clip snippets,
// and its EndPage snippet.
#pragma once

#include "spool/schedule.h"

// The pages of side `side` (1 to 2S) of a booklet of `slots` (4S) page
// slots: first and second position. Pages past the job's count are blank.
struct SidePages {
  INT first, second;
};
SidePages PagesOfSide(INT side, INT slots, WORD binding);

// Side `iSide` of a booklet of `iPageSlots` page slots, into the schedule.
// False when the schedule ended.
bool SendBookletPageData(const ReplayInputs& in, INT iSide, INT iPageSlots, Schedule& out);

// Page `page` alone on a side, in the first position: a booklet job's pages
// come without page framing of their own.
bool SendPageAloneOnSide(const ReplayInputs& in, INT page, Schedule& out);
