#include "booklet/store.h"

BOOKLET_INFO booklet_info;

void ReleaseOrientationArray(const JobData* job) {
  BYTE* array = nullptr;
  {
    UmpdLock lock;
    if (booklet_info.pOwner != job) return;
    array = booklet_info.pOrientation;
    booklet_info = BOOKLET_INFO{};
  }
  if (array) GlobalFree(array);
}
