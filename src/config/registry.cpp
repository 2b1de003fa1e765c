#include "config/registry.h"

#include "config/printerinfo.h"

namespace {

// "Software\KQPrint\" + base name + subkey, cut to 260 characters.
void FormKeyPath(LPWSTR path, LPCWSTR szBaseName, LPCWSTR szSubKey) {
  WCHAR joined[3 * MAX_PATH];
  wsprintfW(joined, TEXT("%s%s%s"), TEXT("Software\\KQPrint\\"), szBaseName ? szBaseName : TEXT(""),
            szSubKey ? szSubKey : TEXT(""));
  lstrcpynW(path, joined, MAX_PATH);
}

}  // namespace

// The spooler serves many users: dropping the process's handle for
// HKEY_CURRENT_USER makes its next use refer to the calling thread's user.
LONG GetCurrentUserKeyAccess() { return RegCloseKey(HKEY_CURRENT_USER); }

LONG CreateKQPrintRegKey(HANDLE hPrinter, HKEY* phKey, LPCWSTR szSubKey) {
  if (!phKey) return REG_MISSING_ARGUMENT;
  *phKey = nullptr;
  WCHAR base[MAX_PATH] = {}, directory[MAX_PATH] = {};
  GetDrvFileNameAndPath(hPrinter, base, directory, TEXT(".DLL"));
  WCHAR path[MAX_PATH];
  FormKeyPath(path, base, szSubKey);
  DWORD disposition = 0;
  return RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, phKey,
                         &disposition);
}

LONG GetKQPrintRegKey(HKEY* phKey, LPCWSTR szBaseName, LPCWSTR szSubKey) {
  if (!phKey) return REG_MISSING_ARGUMENT;
  *phKey = nullptr;
  WCHAR path[MAX_PATH];
  FormKeyPath(path, szBaseName, szSubKey);
  return RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, phKey);
}

void KeepIntValToReg(HKEY hKey, LPCWSTR szValueName, INT iValue) {
  WCHAR text[32] = {};
  wsprintfW(text, TEXT("%d"), iValue);
  RegSetValueExW(hKey, szValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR)));
}

LONG GetSZValFromReg(HKEY hKey, LPCWSTR szValueName, LPBYTE pBuffer, SHORT cbBuffer) {
  if (!hKey || !szValueName) return REG_MISSING_ARGUMENT;
  DWORD size = static_cast<DWORD>(static_cast<LONG>(cbBuffer));
  return RegQueryValueExW(hKey, szValueName, nullptr, nullptr, pBuffer, &size);
}
