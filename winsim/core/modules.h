// The loader, shared by kernel32 and the spooler (which loads a printer's
// spooler component itself).
#pragma once

#include <windows.h>

#include <string_view>

namespace winsim::detail {

HMODULE loadModule(std::u16string_view name, bool bySpooler);
bool freeModule(HMODULE module, bool bySpooler);
void* moduleSymbol(HMODULE module, const char* name);

}  // namespace winsim::detail
