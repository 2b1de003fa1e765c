// The job's booklet store: the snippets come with the booklet record
// (booklet/record.cpp); the orientations, one a page, with the page markers.
#include "job/booklet_store.h"

#include "support/text.h"

namespace {
constexpr DWORD kOrientationStep = 64;  // entries the array grows by, at least
}

BOOL CheckOrientationArray(BOOKLET_INFO* store, DWORD iPage, BYTE code) {
  bool fresh = store->pOrientation.dwCapacity == 0;
  if (!store->pOrientation.Reserve(iPage, kOrientationStep)) {
    Trace(fresh ? TEXT("Could not make the page orientation array.\n")
                : TEXT("Could not grow the page orientation array.\n"));
    return FALSE;
  }
  store->pOrientation[iPage] = code;
  return TRUE;
}

void ReleaseOrientationArray(BOOKLET_INFO* store) { store->pOrientation.Release(); }
