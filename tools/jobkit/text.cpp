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

#include <winsim/machine.h>

namespace jobkit {

std::u16string utf16Of(std::string_view utf8) { return winsim::fromUtf8(utf8); }
std::string utf8Of(std::u16string_view utf16) { return winsim::toUtf8(utf16); }

std::string toCodePage(std::string_view utf8, UINT codePage) { return winsim::toCodePage(utf16Of(utf8), codePage); }

}  // namespace jobkit

#endif
