#include "config/driverfiles.h"

#include <cstring>

#include "config/printerinfo.h"
#include "config/registry.h"
#include "support/guards.h"
#include "support/text.h"

// clang-format off
const MODEL_FEATURE ModelFeature2[MODEL_FEATURE2_ROWS] = {
    {0, TEXT("Function"), TEXT("AutoConfiguration"), 0},
    {1, TEXT("Common"), TEXT("LayoutDoubleSided"), 0},
    {2, TEXT("Function"), TEXT("PortContention"), 0},
    {3, TEXT("Function"), TEXT("RegCustomSize"), 0},
    {4, TEXT("Function"), TEXT("PrintRate"), 0},
    {5, TEXT("Function"), TEXT("PrintRateUnit"), 0},
    {6, TEXT("Function"), TEXT("ColorDevice"), 0},
    {7, TEXT("Common"), TEXT("PrinterStapler"), 0},
    {8, TEXT("Function"), TEXT("BookletOrder"), 0},
    {9, TEXT("Common"), TEXT("PaperCollate"), 0},
};
// clang-format on

namespace {

constexpr WORD kAnySublanguage = 0xFFFF;

struct LanguageSuffix {
  WORD wPrimary;      // LANGID & 0x3FF
  WORD wSublanguage;  // LANGID & 0xFC00, or any
  LPCWSTR szSuffix;
};

// The language INI file of a user locale; the first matching row wins.
const LanguageSuffix kLanguageSuffixes[] = {
    {0x01, kAnySublanguage, TEXT("AB")}, {0x04, 0x0800, TEXT("CP")},          {0x04, kAnySublanguage, TEXT("CT")},
    {0x06, kAnySublanguage, TEXT("DN")}, {0x07, kAnySublanguage, TEXT("GR")}, {0x0A, kAnySublanguage, TEXT("SP")},
    {0x0B, kAnySublanguage, TEXT("FI")}, {0x0C, 0x0C00, TEXT("FC")},          {0x0C, kAnySublanguage, TEXT("FN")},
    {0x0D, kAnySublanguage, TEXT("HB")}, {0x10, kAnySublanguage, TEXT("IT")}, {0x11, kAnySublanguage, TEXT("JP")},
    {0x12, kAnySublanguage, TEXT("KR")}, {0x13, kAnySublanguage, TEXT("DT")}, {0x14, kAnySublanguage, TEXT("NR")},
    {0x16, 0x0800, TEXT("PT")},          {0x16, kAnySublanguage, TEXT("BP")}, {0x19, kAnySublanguage, TEXT("RU")},
    {0x1D, kAnySublanguage, TEXT("SW")},
};

constexpr LPCWSTR kDefaultSuffix = TEXT("EN");

// What a language suffix can be: a few letters. Anything else in the user's
// "DrvCntCode" would name another file than one of the driver's INI files.
constexpr size_t kMaxSuffix = 8;
bool IsLanguageCode(WideView code) {
  if (code.empty() || code.size() > kMaxSuffix) return false;
  for (WCHAR c : code)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

LPCWSTR SuffixOfLanguage(WORD langId) {
  WORD primary = langId & 0x3FF, sub = langId & 0xFC00;
  for (const auto& row : kLanguageSuffixes)
    if (row.wPrimary == primary && (row.wSublanguage == kAnySublanguage || row.wSublanguage == sub))
      return row.szSuffix;
  return kDefaultSuffix;
}

}  // namespace

// Hexadecimal text to a number, without validation: 'A'-'F' are folded to
// lower case in the caller's text, anything that is not 'a'-'f' counts as
// c - '0'. Digits beyond the eighth shift out of the 32-bit sum.
DWORD ConvertChartoHex(CHAR* szText) {
  size_t n = 0;
  while (szText[n]) ++n;
  DWORD sum = 0;
  for (size_t i = 0; i < n; ++i) {
    CHAR& c = szText[i];
    if (c >= 'A' && c <= 'F') c = static_cast<CHAR>(c - 'A' + 'a');
    int digit = (c >= 'a' && c <= 'f') ? c - 'a' + 10 : c - '0';
    size_t shift = 4 * (n - 1 - i);
    if (shift < 32) sum += static_cast<DWORD>(digit) << shift;
  }
  return sum;
}

void GetLanguageSuffix(std::span<WCHAR> szSuffix) {
  CHAR text[256] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTLANGUAGE, text, sizeof text - 1);
  WORD langId = static_cast<WORD>(ConvertChartoHex(text) & 0xFFFF);
  CopyWide(szSuffix, WideView(SuffixOfLanguage(langId)));
}

BOOL GetMultiLangINIFile(HANDLE hPrinter, WCHAR (&szIniPath)[MAX_PATH]) {
  WCHAR base[MAX_PATH] = {}, directory[MAX_PATH] = {};
  if (!GetDrvFileNameAndPath(hPrinter, base, directory, TEXT(".DLL"))) {
    // Without the driver's folder there is no INI file of the driver's to take.
    Trace(TEXT("The driver's folder is not known; texts and options take their defaults.\n"));
    return FALSE;
  }

  // One spare character beyond the 512 bytes read keeps the text terminated
  // whatever the value holds.
  WCHAR code[257] = {};
  bool haveCode = false;
  GetCurrentUserKeyAccess();
  {
    RegKey key;
    if (GetKQPrintRegKey(key.out(), base, TEXT("")) == ERROR_SUCCESS)
      haveCode = GetSZValFromReg(key.get(), TEXT("DrvCntCode"), reinterpret_cast<LPBYTE>(code), 512) == ERROR_SUCCESS &&
                 code[0] != 0;
  }
  if (haveCode && !IsLanguageCode(WideView(code))) {
    Trace(
        TEXT("The language code in the user's registry (DrvCntCode) is not a language code; the locale chooses the "
             "language.\n"));
    haveCode = false;
  }
  WCHAR suffix[257] = {};
  if (haveCode) CopyWide(suffix, WideView(code));
  else GetLanguageSuffix(suffix);

  LPCWSTR candidates[] = {suffix, TEXT("EN"), TEXT("U")};
  for (int i = lstrcmpW(suffix, TEXT("EN")) == 0 ? 1 : 0; i < 3; ++i) {
    WCHAR name[MAX_PATH + 257];
    wsprintfW(name, TEXT("%s%s"), base, candidates[i]);
    WCHAR found[MAX_PATH];
    DWORD n = SearchPathW(directory, name, TEXT(".INI"), MAX_PATH, found, nullptr);
    if (n > 0 && n < MAX_PATH) {
      CopyWide(szIniPath, WideView(found));
      return TRUE;
    }
  }
  // Every text and option read from it takes its default: say so, since
  // what prints may then differ from what the user set up.
  Trace(TEXT("No language INI file was found beside the driver; texts and options take their defaults.\n"));
  return FALSE;
}

INT GetModelFeature2(const MODEL_FEATURE* table, SHORT iRow, LPCWSTR szIniPath) {
  if (iRow < 0 || iRow >= MODEL_FEATURE2_ROWS) return 0;
  const MODEL_FEATURE& row = table[iRow];
  return ReadIniInt(szIniPath, row.szSection, row.szKey, static_cast<SHORT>(row.dwDefault));
}

namespace {

// A file that cannot be read reads as one that is not there (error 2); one
// that was never found has been traced already.
void TraceUnreadIni(LPCWSTR szIniPath, LPCWSTR szSection, LPCWSTR szKey) {
  if (GetLastError() != ERROR_FILE_NOT_FOUND || !szIniPath || !szIniPath[0]) return;
  TraceFormat(TEXT("The driver's INI file could not be read: [%s] %s takes its default.\n"), szSection, szKey);
}

}  // namespace

DWORD ReadIniText(LPCWSTR szIniPath, LPCWSTR szSection, LPCWSTR szKey, LPCWSTR szDefault, LPWSTR out, DWORD cchOut) {
  SetLastError(NO_ERROR);
  DWORD n = GetPrivateProfileStringW(szSection, szKey, szDefault, out, cchOut, szIniPath);
  TraceUnreadIni(szIniPath, szSection, szKey);
  return n;
}

INT ReadIniInt(LPCWSTR szIniPath, LPCWSTR szSection, LPCWSTR szKey, INT nDefault) {
  SetLastError(NO_ERROR);
  INT n = static_cast<INT>(GetPrivateProfileIntW(szSection, szKey, nDefault, szIniPath));
  TraceUnreadIni(szIniPath, szSection, szKey);
  return n;
}

BOOL ReadMdlFeature(HANDLE hPrinter, BYTE (&feature)[MDL_FEATURE_SIZE]) {
  std::memset(feature, 0, sizeof feature);
  if (!hPrinter) return FALSE;
  DWORD type = 0, needed = 0;
  if (GetPrinterDataW(hPrinter, const_cast<LPWSTR>(TEXT("MDL_FEATURE")), &type, feature, sizeof feature, &needed) ==
      ERROR_SUCCESS)
    return TRUE;
  std::memset(feature, 0, sizeof feature);  // nothing of a failed read counts
  return FALSE;
}

bool FirstPassDescending(HANDLE hPrinter) {
  BYTE feature[MDL_FEATURE_SIZE];
  return ReadMdlFeature(hPrinter, feature) && MdlFirstPassDescending(feature);
}
