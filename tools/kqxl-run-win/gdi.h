// The printer's device context on a machine without the printer's driver
// (gdi.cpp): Windows' own GDI draws, the runner answers for the printer.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "imports.h"

namespace kqxlwin {

// The component's gdi32 imports that reach the runner's printer device
// context first (each passes anything else on to Windows).
const Redirect* GdiRedirects(size_t* count);

// Whether CreateDCW makes the runner's printer device context (the
// default), or leaves every device context to Windows.
void SetPrinterDC(bool made);

// The printer device contexts the component holds now, as ("gdi", what).
std::vector<std::pair<std::string, std::string>> GdiHoldings();

}  // namespace kqxlwin
