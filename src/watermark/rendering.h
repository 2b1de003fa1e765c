// Making the watermark files by printing an internal job through the driver.
#pragma once

#include "spooler/records.h"

// Zero on failure. `settings` is the caller's own copy.
BOOL MakeWatermarkData(KQDEVMODE* settings, HANDLE hPrinter);
