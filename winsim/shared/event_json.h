// A JSON string literal of UTF-8 text, as the event logs write it. Shared by
// the simulated machine's API log and the runners' event logs.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace winsim {

inline std::string JsonString(std::string_view utf8) {
  std::string r = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          r += buf;
        } else {
          r += static_cast<char>(c);
        }
    }
  }
  return r + "\"";
}

}  // namespace winsim
