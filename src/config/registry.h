// The per-user registry store: HKEY_CURRENT_USER\Software\KQPrint\<base name><subkey>.
#pragma once

#include "job/record.h"

constexpr LONG REG_MISSING_ARGUMENT = -1;

LONG GetCurrentUserKeyAccess();
LONG CreateKQPrintRegKey(HANDLE hPrinter, HKEY* phKey, LPCWSTR szSubKey);
LONG GetKQPrintRegKey(HKEY* phKey, LPCWSTR szBaseName, LPCWSTR szSubKey);
void KeepIntValToReg(HKEY hKey, LPCWSTR szValueName, INT iValue);
LONG GetSZValFromReg(HKEY hKey, LPCWSTR szValueName, LPBYTE pBuffer, SHORT cbBuffer);
