// Port sharing with the device's scanner component on LPT and USB ports.
#pragma once

#include "spooler/records.h"

constexpr INT PORT_CODE_LPT = 1;
constexpr INT PORT_CODE_USB = 16;

// 1 for a port whose name begins with "LPT", 16 for "USB", 0 for others.
INT PortCodeOf(LPCWSTR szPortName);

BOOL PortAcquire(INT nPort);
BOOL PortRelease(INT nPort);
BOOL PortReleaseEnd(INT nPort);
