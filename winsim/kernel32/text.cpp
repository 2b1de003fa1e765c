// Locale, code pages (through iconv) and the lstr* string functions.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "kernel32/state.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

const char* iconvName(UINT cp) {
  switch (cp) {
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 437: return "CP437";
    case 850: return "CP850";
    case CP_UTF8: return "UTF-8";
    default: return nullptr;
  }
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  void reset() {
    if (ok()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }

  // Converts as much as it can. Returns false on a bad sequence, with `in`
  // and `inLeft` at the offending input.
  bool run(const char*& in, size_t& inLeft, std::string& out) {
    char buf[1024];
    while (inLeft > 0) {
      char* o = buf;
      size_t oLeft = sizeof buf;
      size_t r = iconv(cd_, const_cast<char**>(&in), &inLeft, &o, &oLeft);
      out.append(buf, o - buf);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

// iconv_open loads the code page's converter module and iconv_close unloads
// it, a dlopen each time: each thread keeps the converters it has opened.
Iconv& converter(const char* to, const char* from) {
  thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Iconv>> open;
  auto& slot = open[{to, from}];
  if (!slot) slot = std::make_unique<Iconv>(to, from);
  slot->reset();
  return *slot;
}

bool isAscii(std::u16string_view s) {
  return std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 0x80; });
}
bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

UINT resolve(UINT cp) { return cp == CP_ACP || cp == CP_OEMCP ? kernel32(state()).acp : cp; }

std::u16string fromUtf16Bytes(const std::string& bytes) {
  std::u16string r(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < r.size(); ++i)
    r[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return r;
}

std::string toUtf16Bytes(std::u16string_view s) {
  std::string r(s.size() * 2, '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    r[2 * i] = static_cast<char>(s[i] & 0xFF);
    r[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  return r;
}

}  // namespace

namespace winsim {

// Paths and traces are nearly always ASCII, which needs no converter.
std::string toUtf8(std::u16string_view s) {
  if (isAscii(s)) return std::string(s.begin(), s.end());
  Iconv& cv = converter("UTF-8", "UTF-16LE");
  std::string bytes = toUtf16Bytes(s), out;
  const char* in = bytes.data();
  size_t left = bytes.size();
  while (!cv.run(in, left, out)) {
    out += "\xEF\xBF\xBD";  // a lone surrogate
    in += 2;
    left -= left >= 2 ? 2 : left;
  }
  return out;
}

std::u16string fromUtf8(std::string_view s) {
  if (isAscii(s)) return std::u16string(s.begin(), s.end());
  Iconv& cv = converter("UTF-16LE", "UTF-8");
  std::string out;
  const char* in = s.data();
  size_t left = s.size();
  while (!cv.run(in, left, out)) {
    out.append("\xFD\xFF", 2);
    ++in;
    --left;
  }
  return fromUtf16Bytes(out);
}

}  // namespace winsim

namespace winsim::detail {

// Every code page winsim knows keeps ASCII as it is.
bool decodeAnsi(UINT codePage, std::string_view bytes, std::u16string* text, bool strict) {
  const char* name = iconvName(codePage);
  if (!name) return false;
  if (isAscii(bytes)) return text->assign(bytes.begin(), bytes.end()), true;
  Iconv& cv = converter("UTF-16LE", name);
  if (!cv.ok()) return false;
  std::string out;
  const char* in = bytes.data();
  size_t left = bytes.size();
  while (!cv.run(in, left, out)) {
    if (strict) return false;
    // Windows maps the five unassigned bytes of 1252 to the C1 controls;
    // a broken double-byte sequence becomes the code page's default.
    char16_t repl = codePage == 1252 ? static_cast<unsigned char>(*in) : (codePage == 932 ? 0x30FB : u'?');
    out.push_back(static_cast<char>(repl & 0xFF));
    out.push_back(static_cast<char>(repl >> 8));
    ++in;
    --left;
  }
  *text = fromUtf16Bytes(out);
  return true;
}

std::string encodeAnsi(UINT codePage, std::u16string_view text, char defaultChar, bool* usedDefault) {
  if (isAscii(text)) return std::string(text.begin(), text.end());
  const char* name = iconvName(codePage);
  Iconv& cv = converter(name ? name : "CP1252", "UTF-16LE");
  std::string bytes = toUtf16Bytes(text), out;
  const char* in = bytes.data();
  size_t left = bytes.size();
  while (!cv.run(in, left, out)) {
    out.push_back(defaultChar);
    if (usedDefault) *usedDefault = true;
    size_t skip = 2;
    char16_t c = static_cast<char16_t>(static_cast<unsigned char>(in[0]) | (static_cast<unsigned char>(in[1]) << 8));
    if (c >= 0xD800 && c <= 0xDBFF && left >= 4) skip = 4;
    in += skip;
    left -= std::min(left, skip);
  }
  return out;
}

}  // namespace winsim::detail

extern "C" {

int WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) {
  ApiCall log("GetLocaleInfoA");
  log.hex("Locale", locale).hex("LCType", type).arg("cchData", size);
  auto g = lock();
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

UINT WINAPI GetACP(void) {
  auto g = lock();
  return kernel32(state()).acp;
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen) {
  ApiCall log("MultiByteToWideChar");
  log.arg("CodePage", codePage).hex("dwFlags", flags).arg("cbMultiByte", srcLen).arg("cchWideChar", dstLen);
  auto g = lock();
  UINT cp = resolve(codePage);
  int result = 0;
  std::u16string text;
  if (log.fails()) {
  } else if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
    setError(ERROR_INVALID_PARAMETER);
  } else if (cp == CP_UTF8 && (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS))) {
    setError(ERROR_INVALID_FLAGS);
  } else if (!iconvName(cp)) {
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
  auto g = lock();
  UINT cp = resolve(codePage);
  int result = 0;
  if (usedDefault) *usedDefault = FALSE;
  if (log.fails()) {
  } else if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
    setError(ERROR_INVALID_PARAMETER);
  } else if (!iconvName(cp)) {
    setError(ERROR_INVALID_PARAMETER);
  } else {
    size_t n = srcLen == -1 ? std::char_traits<char16_t>::length(src) + 1 : static_cast<size_t>(srcLen);
    bool used = false;
    std::string bytes = encodeAnsi(cp, std::u16string_view(src, n), defaultChar ? *defaultChar : '?', &used);
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

// Ordinal comparisons: enough for the equality tests the component makes.
int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
  std::u16string_view x = view(a), y = view(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  std::u16string x = upper(view(a)), y = upper(view(b));
  return x < y ? -1 : (x > y ? 1 : 0);
}

}  // extern "C"
