#include "jobkit/text.h"

#ifdef _WIN32

namespace jobkit {

std::u16string utf16Of(std::string_view utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return std::u16string(wide.begin(), wide.end());
}

std::string utf8Of(std::u16string_view utf16) {
  std::wstring wide(utf16.begin(), utf16.end());
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string toCodePage(std::string_view utf8, UINT codePage) {
  std::u16string text = utf16Of(utf8);
  std::wstring wide(text.begin(), text.end());
  BOOL lossy = FALSE;
  bool utf = codePage == CP_UTF8;
  int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, utf ? nullptr : "?",
                              utf ? nullptr : &lossy);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, utf ? nullptr : "?",
                      utf ? nullptr : &lossy);
  return out;
}

}  // namespace jobkit

#else

#include <iconv.h>
#include <winsim/machine.h>

#include <cerrno>

namespace jobkit {

std::u16string utf16Of(std::string_view utf8) { return winsim::fromUtf8(utf8); }
std::string utf8Of(std::u16string_view utf16) { return winsim::toUtf8(utf16); }

std::string toCodePage(std::string_view utf8, UINT codePage) {
  std::string name = codePage == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open(name.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
  std::string out;
  const char* in = utf8.data();
  size_t left = utf8.size();
  char buf[256];
  while (left > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    size_t r = iconv(cd, const_cast<char**>(&in), &left, &o, &oLeft);
    out.append(buf, o - buf);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back('?');
      // skip one UTF-8 character
      do {
        ++in;
        --left;
      } while (left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace jobkit

#endif
