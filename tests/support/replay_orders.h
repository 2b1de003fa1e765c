// The replay orders of a spooled job on a six-page document, with the pages
// each spooler document must hold (0 for the instruction page), and how a
// test plays one through the component.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "jobkit/mkjob.h"
#include "support/test_machine.h"

namespace test {

struct ReplayOrder {
  std::vector<std::string> settings;
  const char16_t* manualDuplexMode;         // MD_ManualDuplex, or null
  std::vector<std::vector<int>> documents;  // page (or sheet side) numbers per non-empty document

  std::string label() const {
    std::string s;
    for (auto& setting : settings) s += setting + " ";
    return s;
  }
};

inline const std::vector<ReplayOrder>& sixPageOrders() {
  static const std::vector<ReplayOrder> orders = {
      {{"wReverseOrder=1"}, nullptr, {{6, 5, 4, 3, 2, 1}}},
      {{"wReverseOrder=2"}, nullptr, {{1, 3, 5}}},
      {{"wReverseOrder=3"}, nullptr, {{2, 4, 6}}},
      {{"wCollate=1", "dmCopies=2"}, nullptr, {{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6}}},
      {{"wReverseOrder=1", "wCollate=1", "dmCopies=2"}, nullptr, {{6, 5, 4, 3, 2, 1, 6, 5, 4, 3, 2, 1}}},
      {{"wMediaType=3", "wOhpMode=1"}, nullptr, {{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6}}},
      {{"wMediaType=3", "wOhpMode=2"}, nullptr, {{6, 1, 6, 2, 6, 3, 6, 4, 6, 5}}},
      {{"wMediaType=3", "wOhpMode=3", "wOhpSeparatorAfter=1", "wReverseOrder=1"},
       nullptr,
       {{5, 6, 4, 6, 3, 6, 2, 6, 1, 6}}},
      {{"wManualDuplex=1"}, u"1", {{2, 4, 6}, {1, 3, 5}}},
      {{"wManualDuplex=1", "wBackSideOrder=1"}, u"0", {{2, 4, 6, 5, 3, 1}}},
      {{"wManualDuplex=1", "wInstructionPage=1"}, u"2", {{0, 2, 4, 6, 1, 3, 5}}},
  };
  return orders;
}

// The same orders for a document of n pages (n >= 2), computed.
inline std::vector<ReplayOrder> pageOrders(int n) {
  auto every = [](int from, int to, int step) {
    std::vector<int> v;
    for (int k = from; step > 0 ? k <= to : k >= to; k += step) v.push_back(k);
    return v;
  };
  auto join = [](std::initializer_list<std::vector<int>> parts) {
    std::vector<int> v;
    for (auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
  };
  auto pairs = [&](std::vector<int> transparencies, bool separatorFirst, int separatorOf) {
    std::vector<int> v;
    for (int k : transparencies) {
      int separator = separatorOf ? separatorOf : k;
      v.push_back(separatorFirst ? separator : k);
      v.push_back(separatorFirst ? k : separator);
    }
    return v;
  };
  std::vector<int> all = every(1, n, 1), reverse = every(n, 1, -1);
  int paired = n - n % 2;
  std::vector<int> backs = every(2, paired, 2), lone = n % 2 ? std::vector<int>{n} : std::vector<int>{};
  std::vector<int> fronts = join({every(1, paired - 1, 2), lone}), frontsDown = join({every(paired - 1, 1, -2), lone});
  return {
      {{"wReverseOrder=1"}, nullptr, {reverse}},
      {{"wReverseOrder=2"}, nullptr, {every(1, n, 2)}},
      {{"wReverseOrder=3"}, nullptr, {every(2, n, 2)}},
      {{"wCollate=1", "dmCopies=2"}, nullptr, {join({all, all})}},
      {{"wReverseOrder=1", "wCollate=1", "dmCopies=2"}, nullptr, {join({reverse, reverse})}},
      {{"wMediaType=3", "wOhpMode=1"}, nullptr, {pairs(all, true, 0)}},
      {{"wMediaType=3", "wOhpMode=2"}, nullptr, {pairs(every(1, n - 1, 1), true, n)}},
      {{"wMediaType=3", "wOhpMode=3", "wOhpSeparatorAfter=1", "wReverseOrder=1"},
       nullptr,
       {pairs(every(n - 1, 1, -1), false, n)}},
      {{"wManualDuplex=1"}, u"1", {backs, fronts}},
      {{"wManualDuplex=1", "wBackSideOrder=1"}, u"0", {join({backs, frontsDown})}},
      {{"wManualDuplex=1", "wInstructionPage=1"}, u"2", {join({{0}, backs, fronts})}},
  };
}

// Plays the document in that order; the port's non-empty documents.
inline std::vector<std::string> playOrder(TestMachine& m, const std::filesystem::path& document,
                                          const ReplayOrder& order) {
  if (order.manualDuplexMode)
    m->setProfileString(std::u16string(kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex",
                        order.manualDuplexMode);
  jobkit::MakeJobOptions options;
  options.settings = order.settings;
  std::string script, error;
  EXPECT_TRUE(jobkit::makeJob(document, options, &script, &error)) << error;
  m.play(script);
  std::vector<std::string> documents;
  for (int d = 1; d <= m.documentCount(); ++d)
    if (!m.document(d).empty()) documents.push_back(m.document(d));
  return documents;
}

}  // namespace test
