// A JSON string literal of UTF-8 text, as the event logs write it. Shared by
// the simulated machine's API log and the runners' event logs.
#pragma once

#include <string>
#include <string_view>

namespace winsim {

// `text` as a JSON string literal, each character taken as the byte of its
// value: UTF-8 bytes, or UTF-16 text known to be ASCII.
template <class Char>
void AppendJsonChars(std::string& r, std::basic_string_view<Char> text) {
  static const char kHex[] = "0123456789abcdef";
  size_t at = r.size();
  r.resize(at + text.size() * 6 + 2);  // room for every character escaped
  char* out = r.data() + at;
  *out++ = '"';
  for (Char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != '"' && c != '\\') {
      *out++ = static_cast<char>(c);
      continue;
    }
    *out++ = '\\';
    switch (c) {
      case '"': *out++ = '"'; break;
      case '\\': *out++ = '\\'; break;
      case '\n': *out++ = 'n'; break;
      case '\r': *out++ = 'r'; break;
      case '\t': *out++ = 't'; break;
      default:
        for (char e : {'u', '0', '0', kHex[c >> 4], kHex[c & 15]}) *out++ = e;
    }
  }
  *out++ = '"';
  r.resize(static_cast<size_t>(out - r.data()));
}

inline void AppendJsonString(std::string& r, std::string_view utf8) { AppendJsonChars(r, utf8); }

inline std::string JsonString(std::string_view utf8) {
  std::string r;
  AppendJsonString(r, utf8);
  return r;
}

}  // namespace winsim
