// GlobalAlloc and GlobalFree. Fixed blocks are plain heap memory; winsim
// keeps a list of the live ones for the bookkeeping.
#include <cstdlib>
#include <cstring>

#include "kernel32/state.h"

using namespace winsim::detail;

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  ApiCall log("GlobalAlloc");
  log.hex("uFlags", flags).arg("dwBytes", static_cast<long long>(bytes));
  void* p = nullptr;
  if (!log.fails()) {
    p = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!p) {
      setError(ERROR_NOT_ENOUGH_MEMORY);
    } else {
      auto& k = kernel32(state());
      QuietLock g(k.blocksMu);
      k.blocks[p] = bytes;
    }
  }
  log.resultPtr(p);
  return p;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL mem) {
  ApiCall log("GlobalFree");
  log.ptr("hMem", mem);
  HGLOBAL result = nullptr;
  bool failing = log.fails();  // the block is freed all the same
  if (mem) {
    auto& k = kernel32(state());
    bool known;
    {
      QuietLock g(k.blocksMu);
      known = k.blocks.erase(mem) > 0;
    }
    if (!known) {
      setError(ERROR_INVALID_HANDLE);
      result = mem;
    } else {
      std::free(mem);
      if (failing) result = mem;
    }
  }
  log.resultPtr(result);
  return result;
}

}  // extern "C"
