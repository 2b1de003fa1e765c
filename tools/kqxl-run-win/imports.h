// Routing a module's imports to the runner's stand-ins: the import address
// table of a loaded module is rewritten entry by entry, so that the module's
// calls of the named functions reach the stand-in and all its other calls
// reach Windows as before.
#pragma once

#include <windows.h>

#include <string>

namespace kqxlwin {

struct Redirect {
  const char* dll;       // as imported, compared without case ("winspool.drv")
  const char* function;  // imported by this name
  void* standIn;
};

// Rewrites every import of `module` that a redirect names; the number of
// entries rewritten.
int RedirectImports(HMODULE module, const Redirect* redirects, size_t count);

// The traces of modules whose imports were not yet rewritten (a DllMain
// running inside LoadLibraryW): OutputDebugString raises a debug-print
// exception, which this catches and hands to `sink` while installed.
class TraceCatcher {
 public:
  explicit TraceCatcher(void (*sink)(const std::u16string& text));
  ~TraceCatcher();
  TraceCatcher(const TraceCatcher&) = delete;
  TraceCatcher& operator=(const TraceCatcher&) = delete;

 private:
  void* handler_;
};

}  // namespace kqxlwin
