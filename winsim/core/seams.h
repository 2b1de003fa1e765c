// What one simulated DLL offers the others, as Windows' DLLs call into each
// other's exports: declared here, defined in the folder of the DLL that
// offers it, so that no DLL folder includes another's headers.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "core/state.h"

namespace winsim::detail {

// kernel32's profile reader: an INI file on the host, by section and key.
using ProfileData = std::map<std::u16string, std::map<std::u16string, std::u16string, CaseLess>, CaseLess>;
ProfileData readProfile(const fs::path& host);

// kernel32's loader, which the spooler uses too: it loads a printer's
// spooler component itself.
HMODULE loadModule(std::u16string_view name, bool bySpooler);
bool freeModule(HMODULE module, bool bySpooler);
void* moduleSymbol(HMODULE module, const char* name);
// A module the spooler itself has loaded from that path, or null.
HMODULE spoolerModule(std::u16string_view winPath);

// winspool: whether the machine has a printer of that name
// (case-insensitive), which gdi32's CreateDCW asks.
bool isPrinter(std::u16string_view name);
// winspool: a message box is up on this thread; a cancel armed for it
// (a job script's "cancel box") falls now, before the box is answered.
void cancelIfDueAtBox();

}  // namespace winsim::detail
