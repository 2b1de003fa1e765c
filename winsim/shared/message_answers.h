// Message boxes nobody answers. Shared by the simulated machine and
// kqxl-run.exe's stand-in; self-contained but for the platform's <windows.h>.
#pragma once

#include <windows.h>

namespace winsim {

// The answer of a message box nobody answered: its first button.
inline int FirstButton(UINT style) {
  switch (style & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    case MB_CANCELTRYCONTINUE: return IDCANCEL;
    default: return IDOK;
  }
}

}  // namespace winsim
