// Locale, code page conversions (kernel32/codepage.cpp) and the lstr*
// string functions.
#include <cstdio>
#include <cstring>

#include "kernel32/state.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

UINT resolve(UINT cp) { return cp == CP_ACP || cp == CP_OEMCP ? kernel32(state()).acp.load() : cp; }

// The flags each direction knows.
constexpr DWORD kToWideFlags = MB_PRECOMPOSED | MB_COMPOSITE | 0x4 /* MB_USEGLYPHCHARS */ | MB_ERR_INVALID_CHARS;
constexpr DWORD kToBytesFlags =
    WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS | 0x10 | 0x20 | 0x40 | 0x80;  // DISCARDNS,
                                                                           // SEPCHARS, DEFAULTCHAR, ERR_INVALID_CHARS

// The default character as the code page reads it: a lead byte takes the
// byte after it.
std::string_view defaultCharacter(UINT cp, LPCSTR given) {
  if (!given || !given[0]) return "?";
  return std::string_view(given, isLeadByte(cp, static_cast<BYTE>(given[0])) && given[1] ? 2 : 1);
}

}  // namespace

extern "C" {

int WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) {
  ApiCall log("GetLocaleInfoA");
  log.hex("Locale", locale).hex("LCType", type).arg("cchData", size);
  LANGID lang = kernel32(state()).lang;
  char text[16] = {};
  int result = 0;
  if (log.fails()) {
  } else if (type == LOCALE_IDEFAULTLANGUAGE || type == LOCALE_ILANGUAGE) {
    std::snprintf(text, sizeof text, "%04x", lang);
    int need = static_cast<int>(std::strlen(text)) + 1;
    if (size == 0) {
      result = need;
    } else if (size < need || !data) {
      setError(ERROR_INSUFFICIENT_BUFFER);
    } else {
      std::memcpy(data, text, need);
      result = need;
      log.arg("lpLCData", data);
    }
  } else {
    setError(ERROR_INVALID_FLAGS);
  }
  log.result(result);
  return result;
}

UINT WINAPI GetACP(void) { return kernel32(state()).acp; }

BOOL WINAPI IsDBCSLeadByte(BYTE c) { return isLeadByte(kernel32(state()).acp, c) ? TRUE : FALSE; }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen) {
  ApiCall log("MultiByteToWideChar");
  log.arg("CodePage", codePage).hex("dwFlags", flags).arg("cbMultiByte", srcLen).arg("cchWideChar", dstLen);
  UINT cp = resolve(codePage);
  int result = 0;
  std::u16string text;
  if (log.fails()) {
  } else if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
    setError(ERROR_INVALID_PARAMETER);
  } else if ((cp == CP_UTF8 && (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS))) || (flags & ~kToWideFlags)) {
    setError(ERROR_INVALID_FLAGS);
  } else if (!knownCodePage(cp)) {
    setError(ERROR_INVALID_PARAMETER);
  } else {
    size_t n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
    if (!decodeAnsi(cp, std::string_view(src, n), &text, flags & MB_ERR_INVALID_CHARS)) {
      setError(ERROR_NO_UNICODE_TRANSLATION);
    } else if (dstLen == 0) {
      result = static_cast<int>(text.size());
    } else if (text.size() > static_cast<size_t>(dstLen)) {
      text.copy(dst, dstLen);
      setError(ERROR_INSUFFICIENT_BUFFER);
    } else {
      text.copy(dst, text.size());
      result = static_cast<int>(text.size());
    }
  }
  log.result(result);
  return result;
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                               LPCSTR defaultChar, LPBOOL usedDefault) {
  ApiCall log("WideCharToMultiByte");
  log.arg("CodePage", codePage).hex("dwFlags", flags).arg("cchWideChar", srcLen).arg("cbMultiByte", dstLen);
  UINT cp = resolve(codePage);
  int result = 0;
  if (usedDefault) *usedDefault = FALSE;
  if (log.fails()) {
  } else if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
    setError(ERROR_INVALID_PARAMETER);
  } else if (flags & ~kToBytesFlags) {
    setError(ERROR_INVALID_FLAGS);
  } else if (!knownCodePage(cp) || (cp == CP_UTF8 && (defaultChar || usedDefault))) {
    setError(ERROR_INVALID_PARAMETER);  // UTF-8 has no default character
  } else {
    size_t n = srcLen == -1 ? std::char_traits<char16_t>::length(src) + 1 : static_cast<size_t>(srcLen);
    bool used = false;
    std::string bytes = encodeAnsi(cp, std::u16string_view(src, n), defaultCharacter(cp, defaultChar), &used);
    if (usedDefault) *usedDefault = used;
    if (dstLen == 0) {
      result = static_cast<int>(bytes.size());
    } else if (bytes.size() > static_cast<size_t>(dstLen)) {
      bytes.copy(dst, dstLen);
      setError(ERROR_INSUFFICIENT_BUFFER);
    } else {
      bytes.copy(dst, bytes.size());
      result = static_cast<int>(bytes.size());
    }
  }
  log.result(result);
  return result;
}

// (a * b) / c with a 64-bit product, rounded half away from zero; -1 for c 0.
int WINAPI MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long p = static_cast<long long>(a) * b;
  long long q = p / c, r = p % c;
  if (2 * (r < 0 ? -r : r) >= (c < 0 ? -static_cast<long long>(c) : c)) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}

int WINAPI lstrlenW(LPCWSTR s) { return s ? static_cast<int>(std::char_traits<char16_t>::length(s)) : 0; }

LPWSTR WINAPI lstrcpyW(LPWSTR dst, LPCWSTR src) {
  if (!dst || !src) return nullptr;
  std::char_traits<char16_t>::copy(dst, src, std::char_traits<char16_t>::length(src) + 1);
  return dst;
}

LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int max) {
  if (!dst || !src || max <= 0) return dst;
  int i = 0;
  for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
  return dst;
}

LPWSTR WINAPI lstrcatW(LPWSTR dst, LPCWSTR src) {
  if (!dst || !src) return nullptr;
  lstrcpyW(dst + lstrlenW(dst), src);
  return dst;
}

// Letters before case, as Windows' word order has it ("a" < "B", "a" < "A");
// within a case, code order, which Windows' tables refine.
int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (int byLetters = lstrcmpiW(a, b)) return byLetters;
  std::u16string_view x = view(a), y = view(b);
  for (size_t i = 0; i < x.size(); ++i)
    if (x[i] != y[i]) return upper(x[i]) == x[i] ? 1 : -1;  // the lower-case one first
  return 0;
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  std::u16string x = upper(view(a)), y = upper(view(b));
  return x < y ? -1 : (x > y ? 1 : 0);
}

}  // extern "C"
