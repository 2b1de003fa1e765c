// kernel32's loader, which the spooler uses too (it loads a printer's
// spooler component itself).
#pragma once

#include <windows.h>

#include <string_view>

namespace winsim::detail {

HMODULE loadModule(std::u16string_view name, bool bySpooler);
bool freeModule(HMODULE module, bool bySpooler);
void* moduleSymbol(HMODULE module, const char* name);
// A module the spooler itself has loaded from that path, or null.
HMODULE spoolerModule(std::u16string_view winPath);

}  // namespace winsim::detail
