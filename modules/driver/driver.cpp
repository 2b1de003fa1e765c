// The printer driver's own file, KQXL.DLL, which the printer's driver path
// names. On the simulated machine it stands for the driver's rendering
// side; the spooler calls the hooks of the driver's interface module
// (KQXLUMPD.DLL), not this one.
#include <windows.h>

extern "C" __attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
