// A JSON string literal of UTF-8 text, as the event logs write it. Shared by
// the simulated machine's API log and the runners' event logs.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace winsim {

inline void AppendJsonString(std::string& r, std::string_view utf8) {
  r.reserve(r.size() + utf8.size() + 8);
  r += '"';
  size_t plain = 0;  // where the run of characters that need no escape began
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    r.append(utf8.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        r += buf;
      }
    }
  }
  r.append(utf8.substr(plain));
  r += '"';
}

inline std::string JsonString(std::string_view utf8) {
  std::string r;
  AppendJsonString(r, utf8);
  return r;
}

}  // namespace winsim
