// Job scripts for spooled jobs whose parts are easy to read back: the
// header "HEAD", the prefixes "AAAA" (entry 0) and "BBBB" (entry 1), pages
// "p1;", "p2;", ... and the trailer "TAIL".
#pragma once

#include <string>

namespace test {

struct SpooledJob {
  std::string settings;  // FIELD=VALUE ...
  int pages = 3;
  bool endMarker = true;
  bool prefixes = true;
  std::string document = "Document";
  std::string header = "HEAD";  // before the prefixes

  std::string script() const {
    std::string s = "settings reset " + settings + "\nstartdoc document=\"" + document + "\"\nwrite settings\n";
    if (!header.empty()) s += "write text \"" + header + "\"\n";
    if (prefixes) s += "write text \"AAAABBBB\"\n";
    for (int k = 1; k <= pages; ++k) {
      s += "startpage\nwrite marker page-start 1\nwrite text \"p" + std::to_string(k) + ";\"\nendpage\n";
    }
    if (endMarker) s += "write marker pages-end\n";
    s += "write text \"TAIL\"\nenddoc\nclose\n";
    return s;
  }
};

}  // namespace test
