#include "config/portcontention.h"

#include "support/text.h"

INT PortCodeOf(LPCWSTR szPortName) {
  if (StartsWithNoCase(szPortName, TEXT("LPT"))) return PORT_CODE_LPT;
  if (StartsWithNoCase(szPortName, TEXT("USB"))) return PORT_CODE_USB;
  return 0;
}

// Until the scanner component is supported these answer as they do on a
// machine without one: the port is always the printer's.
BOOL PortAcquire(INT) { return TRUE; }
BOOL PortRelease(INT) { return TRUE; }
BOOL PortReleaseEnd(INT) { return TRUE; }
