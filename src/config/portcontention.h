// Port sharing with the device's scanner component on LPT and USB ports.
// The component is loaded per job, so jobs on two ports never release or
// unload each other's load.
#pragma once

#include "job/record.h"

constexpr INT PORT_CODE_LPT = 1;
constexpr INT PORT_CODE_USB = 16;

// 1 for a port whose name begins with "LPT", 16 for "USB", 0 for others.
INT PortCodeOf(LPCWSTR szPortName);

// 1: the job may use the port (granted, or no scanner component); 0: the
// scanner holds it, or the component lacks "PortAcquire". The component
// stays loaded in pData->hDll.
BOOL PortAcquire(JobData* pData, INT nPort);
// Hands the port back through the job's load and unloads it; 1 when
// nothing is loaded.
BOOL PortRelease(JobData* pData, INT nPort);
// The release at the end of a job, through a load of its own.
BOOL PortReleaseEnd(JobData* pData, INT nPort);
// A load the job still holds (a job closed without its end) goes.
void UnloadScannerComponent(JobData* pData);
