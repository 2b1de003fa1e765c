// The booklet snippet store: the PCL XL snippets of the booklet record that
// open, place and close a sheet side, and the orientation of every page.
// Each job holds its own, so booklet jobs on two printers never mix.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "support/guards.h"

// One snippet: its length and up to 31 bytes of PCL XL, as received.
struct BOOKLET_SNIPPET {
  BYTE bLength;
  BYTE abData[31];
};
static_assert(sizeof(BOOKLET_SNIPPET) == 32, "a snippet slot is 32 bytes");

struct BOOKLET_INFO {
  BOOKLET_SNIPPET abBeginPageAlt;     // element 1: opens the sides the composer picks
  BOOKLET_SNIPPET abBeginPage;        // element 2: opens every other side
  BOOKLET_SNIPPET abEndPage;          // element 3
  BOOKLET_SNIPPET abPageOrigin[4];    // elements 4-7: first, second position; orientation 1, then 2
  BOOKLET_SNIPPET abPageRotation[2];  // elements 8, 9: for orientation 2 (selector 1), 1 (selector 2)
  BOOKLET_SNIPPET abPageScale;        // element 10
  BOOKLET_SNIPPET abClipMode;         // element 11
  BOOKLET_SNIPPET abBorderData;       // element 12: kept, never written
  BOOKLET_SNIPPET abExecStream[2];    // elements 14, 15: the overlay, with wOverlayMode 1
  BYTE bRotationSelector;             // element 13
  BOOL bHaveRecord;                   // a usable record came for this job
  GlobalArray<BYTE> pOrientation;     // one dmOrientation code per page, from page 1
};

// Keeps the orientation code of page iPage + 1 (0-based iPage). FALSE when
// the array has no room for it; the codes kept stay.
BOOL CheckOrientationArray(BOOKLET_INFO* store, DWORD iPage, BYTE code);
// The orientation code of page iPage (1-based); 0 for a page never kept.
inline BYTE PageOrientation(const BOOKLET_INFO& store, INT iPage) {
  return iPage >= 1 ? store.pOrientation.At(static_cast<DWORD>(iPage - 1)) : 0;
}
// Frees the job's orientation array.
void ReleaseOrientationArray(BOOKLET_INFO* store);
