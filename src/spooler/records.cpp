#include "spooler/records.h"

#include <cstring>

KQDEVMODE GlobalDevMode;
HINSTANCE hInst;
CRITICAL_SECTION UmpdSection;
CRITICAL_SECTION WatermarkSection;
HMODULE hOverlay;
DWORD dwByteCountOfOverlay;

void SetRecordDevModeSizes(KQDEVMODE* settings) {
  settings->dm.dmSize = sizeof(DEVMODEW);
  settings->dm.dmDriverExtra = kSettingsRecordSize - sizeof(DEVMODEW);
}

void CaptureGlobalSettings(const KQDEVMODE& settings) {
  UmpdLock lock;
  std::memcpy(&GlobalDevMode, &settings, sizeof GlobalDevMode);
}

void ReadGlobalSettings(KQDEVMODE* settings) {
  UmpdLock lock;
  std::memcpy(settings, &GlobalDevMode, sizeof GlobalDevMode);
}
