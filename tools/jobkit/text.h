// Text conversions the job kit needs on every platform: UTF-8 and UTF-16,
// and UTF-8 into an ANSI code page (unmappable characters become '?').
// iconv and winsim's own on this machine, the system's on Windows.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace jobkit {

// The edits (insertions, deletions, substitutions) that make `a` into `b`,
// characters compared with `same`.
template <typename Text, typename Same>
size_t editDistance(const Text& a, const Text& b, Same same) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same(a[i - 1], b[j - 1]) ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

std::u16string utf16Of(std::string_view utf8);
std::string utf8Of(std::u16string_view utf16);
std::string toCodePage(std::string_view utf8, UINT codePage);
std::string fromCodePage(std::string_view bytes, UINT codePage);  // into UTF-8

// The ANSI code pages of the driver's languages, each with the user locale
// (LANGID) that goes with it.
struct CodePageLocale {
  UINT codePage;
  LANGID locale;
  const char* language;
};
const std::vector<CodePageLocale>& codePageLocales();
const CodePageLocale* codePageLocale(UINT codePage);
// Whether text comes back from the code page as it went in; the code
// pages of the list that hold it.
bool codePageHolds(std::string_view utf8, UINT codePage);
std::vector<UINT> codePagesHolding(std::string_view utf8);

}  // namespace jobkit
