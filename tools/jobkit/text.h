// Text conversions the job kit needs on every platform: UTF-8 and UTF-16,
// and UTF-8 into an ANSI code page (unmappable characters become '?').
// iconv and winsim's own on this machine, the system's on Windows.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace jobkit {

std::u16string utf16Of(std::string_view utf8);
std::string utf8Of(std::u16string_view utf16);
std::string toCodePage(std::string_view utf8, UINT codePage);

}  // namespace jobkit
