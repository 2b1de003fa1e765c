// Booklet jobs whose output is easy to read back: every snippet of the
// booklet record is a short label ("{B}" the BeginPage, "{A}" the alternate
// one, "{E}" EndPage, "{O0}".."{O3}" the origins, "{R0}" "{R1}" the
// rotations, "{S}" scale, "{C}" clip, "{D}" border data, "{X0}" "{X1}" the
// overlay), the header "HEAD", the software prefixes "AAAA" and "BBBB",
// pages "p1;", "p2;", ... and the trailer "TAIL".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace test {

struct BookletElement {
  int index;
  std::string data;  // for element 13: one byte, the rotation selector
};

// The record's bytes: the marker, then the elements.
inline std::string bookletRecord(const std::vector<BookletElement>& elements, size_t element13 = 12) {
  std::string r("\x1B\xF0\x10\x00", 4);
  for (size_t i = 0; i < elements.size(); ++i) {
    r += static_cast<char>(elements[i].index);
    if (i == element13) {
      r += elements[i].data;
      continue;
    }
    r += static_cast<char>(elements[i].data.size());
    r += elements[i].data;
  }
  return r;
}

// The labelled record; software booklets carry the prefixes in element 2.
inline std::vector<BookletElement> labelledElements(bool software, int selector = 0, bool overlay = false) {
  // clang-format off
  std::vector<BookletElement> e = {
      {1, "{A}"},    {2, (software ? "AAAABBBB" : "") + std::string("{B}")},
      {3, "{E}"},    {4, "{O0}"},
      {5, "{O1}"},   {6, "{O2}"},
      {7, "{O3}"},   {8, "{R0}"},
      {9, "{R1}"},   {10, "{S}"},
      {11, "{C}"},   {12, "{D}"},
      {13, std::string(1, static_cast<char>(selector))},
  };
  // clang-format on
  if (overlay) {
    e.push_back({14, "{X0}"});
    e.push_back({15, "{X1}"});
  }
  return e;
}

inline std::string hexOf(const std::string& bytes) {
  std::string s;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    s += buf;
  }
  return s;
}

struct BookletJob {
  std::string settings;              // FIELD=VALUE ...
  std::vector<int> orientations;     // one a page: 1 portrait, 2 landscape
  std::vector<std::string> records;  // each sent before the first page
  std::string document = "Booklet";

  std::string script() const {
    std::string s = "settings reset " + settings + "\nstartdoc document=\"" + document + "\"\nwrite settings\n";
    s += "write text \"HEAD\"\n";
    for (auto& r : records) s += "write hex " + hexOf(r) + "\n";
    for (size_t k = 0; k < orientations.size(); ++k)
      s += "startpage\nwrite marker page-start " + std::to_string(orientations[k]) + "\nwrite text \"p" +
           std::to_string(k + 1) + ";\"\nendpage\n";
    s += "write marker pages-end\nwrite text \"TAIL\"\nenddoc\nclose\n";
    return s;
  }
};

// What a side holds, as the labels spell it: P1 and P2 are the pages of the
// first and second position (0 blank), all portrait, no rotation.
inline std::string side(int p1, int p2, const std::string& begin = "{B}") {
  std::string s = begin;
  if (p1) s += "{O0}{S}{C}p" + std::to_string(p1) + ";\x74";
  if (p2) s += "{O1}{S}{C}p" + std::to_string(p2) + ";";
  return s + "{E}";
}

}  // namespace test
