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

std::string fromCodePage(std::string_view bytes, UINT codePage) {
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return utf8Of(std::u16string(wide.begin(), wide.end()));
}

}  // namespace jobkit

#else

#include <winsim/machine.h>

namespace jobkit {

std::u16string utf16Of(std::string_view utf8) { return winsim::fromUtf8(utf8); }
std::string utf8Of(std::u16string_view utf16) { return winsim::toUtf8(utf16); }

std::string toCodePage(std::string_view utf8, UINT codePage) { return winsim::toCodePage(utf16Of(utf8), codePage); }
std::string fromCodePage(std::string_view bytes, UINT codePage) {
  return utf8Of(winsim::fromCodePage(bytes, codePage));
}

}  // namespace jobkit

#endif

namespace jobkit {

const std::vector<CodePageLocale>& codePageLocales() {
  static const std::vector<CodePageLocale> table = {
      {1252, 0x0409, "Western European"},
      {1250, 0x0405, "Central European"},
      {1251, 0x0419, "Cyrillic"},
      {1253, 0x0408, "Greek"},
      {1254, 0x041F, "Turkish"},
      {1257, 0x0427, "Baltic"},
      {1258, 0x042A, "Vietnamese"},
      {1255, 0x040D, "Hebrew"},
      {1256, 0x0401, "Arabic"},
      {874, 0x041E, "Thai"},
      {932, 0x0411, "Japanese"},
      {936, 0x0804, "Simplified Chinese"},
      {949, 0x0412, "Korean"},
      {950, 0x0404, "Traditional Chinese"},
  };
  return table;
}

const CodePageLocale* codePageLocale(UINT codePage) {
  for (auto& c : codePageLocales())
    if (c.codePage == codePage) return &c;
  return nullptr;
}

bool codePageHolds(std::string_view utf8, UINT codePage) {
  return fromCodePage(toCodePage(utf8, codePage), codePage) == utf8;
}

std::vector<UINT> codePagesHolding(std::string_view utf8) {
  std::vector<UINT> pages;
  for (auto& c : codePageLocales())
    if (codePageHolds(utf8, c.codePage)) pages.push_back(c.codePage);
  return pages;
}

}  // namespace jobkit
