// Every pair of values of the settings that choose how a job prints, on
// documents of odd and even length and of both orientations, printed on the
// interpreter: every document the component sends prints, with the pages
// the settings ask for where the job kit's page labels can tell them, or
// the component refused the job and said why (a box or a trace).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "jobkit/player.h"
#include "jobkit/printorder.h"
#include "jobkit/simhost.h"
#include "jobkit/syntax.h"
#include "printer/printer_support.h"

namespace {

using namespace printer;
namespace fs = std::filesystem;

// A setting and its values, each a list of FIELD=VALUE (or "MD=N", the
// language INI file's MD_ManualDuplex, or "document=FILE").
struct Factor {
  const char* name;
  std::vector<std::vector<std::string>> values;
};

const std::string kWatermark = "szWatermarkText=DRAFT szWatermarkFont=Arial wWatermarkSize=60";

// clang-format off
const std::vector<Factor> kFactors = {
    {"document",         {{"document=examples/numbered.pxl"},  // 6 portrait pages
                          {"document=examples/letter-long.pxl"},  // 3
                          {"document=tests/data/a4-landscape.pxl"}}},
    {"booklet",          {{"wBooklet=0"}, {"wBooklet=1"}}},
    {"hardware booklet", {{"wHardwareBooklet=0"}, {"wHardwareBooklet=2"}}},
    {"manual duplex",    {{"wManualDuplex=0"}, {"wManualDuplex=1"}, {"wManualDuplex=2"}}},
    {"MD_ManualDuplex",  {{"MD=0"}, {"MD=1"}, {"MD=2"}}},
    {"back side order",  {{"wBackSideOrder=0"}, {"wBackSideOrder=1"}}},
    {"booklet side",     {{"wBookletSide=0"}, {"wBookletSide=1"}}},
    {"page order",       {{"wReverseOrder=0"}, {"wReverseOrder=1"}, {"wReverseOrder=2"}, {"wReverseOrder=3"}}},
    {"collation",        {{"wCollate=0"}, {"wCollate=1"}}},
    {"copies",           {{"dmCopies=1"}, {"dmCopies=2"}}},
    {"printer copies",   {{"wPrinterCopies=0"}, {"wPrinterCopies=1"}}},
    {"transparencies",   {{"wOhpMode=0"}, {"wMediaType=3", "wOhpMode=1"}, {"wMediaType=3", "wOhpMode=2"},
                          {"wMediaType=3", "wOhpMode=3", "wOhpSeparatorAfter=1"}}},
    {"watermark",        {{"wWatermark=0"}, {"wWatermark=1", kWatermark}, {"wWatermark=1", "wWatermarkFirstOnly=1",
                          kWatermark}}},
    {"orientation",      {{"dmOrientation=1"}, {"dmOrientation=2"}}},
    {"instruction page", {{"wInstructionPage=0"}, {"wInstructionPage=1"}}},
};
// clang-format on

using Case = std::vector<int>;  // a value of each factor

// Cases that together hold every pair of values of two factors: each case
// chosen greedily among candidates for the pairs it covers that none before
// did (a fixed seed: the same cases every run).
std::vector<Case> pairwiseCases() {
  std::set<std::tuple<int, int, int, int>> uncovered;
  const int n = static_cast<int>(kFactors.size());
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b)
      for (int va = 0; va < static_cast<int>(kFactors[a].values.size()); ++va)
        for (int vb = 0; vb < static_cast<int>(kFactors[b].values.size()); ++vb) uncovered.insert({a, va, b, vb});
  auto covers = [&](const Case& c) {
    int count = 0;
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b) count += uncovered.count({a, c[a], b, c[b]});
    return count;
  };
  std::mt19937 random(2026);
  std::vector<Case> cases;
  while (!uncovered.empty()) {
    Case best;
    int bestCount = -1;
    for (int attempt = 0; attempt < 50; ++attempt) {
      Case c(n);
      // Start from a pair still uncovered, then fill the rest value by value.
      auto [fa, va, fb, vb] = *std::next(uncovered.begin(), static_cast<long>(random() % uncovered.size()));
      std::vector<bool> set(n);
      c[fa] = va, c[fb] = vb, set[fa] = set[fb] = true;
      for (int f = 0; f < n; ++f) {
        if (set[f]) continue;
        int bestValue = 0, most = -1;
        for (int v = 0; v < static_cast<int>(kFactors[f].values.size()); ++v) {
          int gain = 0;
          for (int g = 0; g < n; ++g)
            if (set[g])
              gain += uncovered.count(f < g ? std::make_tuple(f, v, g, c[g]) : std::make_tuple(g, c[g], f, v));
          if (gain > most || (gain == most && random() % 2)) most = gain, bestValue = v;
        }
        c[f] = bestValue, set[f] = true;
      }
      if (int count = covers(c); count > bestCount) best = c, bestCount = count;
    }
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b) uncovered.erase({a, best[a], b, best[b]});
    cases.push_back(best);
  }
  return cases;
}

struct Played {
  std::vector<std::string> documents;  // the port's, empty ones left out
  jobkit::JobSummary job;
  bool said = false;  // a box or a trace beyond the hooks' own
  std::string label;
};

Played playCase(const Case& c) {
  Played played;
  std::vector<std::string> settings;
  std::string md = "0";
  fs::path document;
  for (size_t f = 0; f < c.size(); ++f)
    for (auto& value : kFactors[f].values[c[f]]) {
      played.label += (played.label.empty() ? "" : " ") + value;
      if (value.rfind("MD=", 0) == 0) md = value.substr(3);
      else if (value.rfind("document=", 0) == 0) document = fs::path(KQXL_SOURCE_DIR) / value.substr(9);
      else settings.push_back(value);
    }
  // A watermark's text is one setting of its own each.
  std::vector<std::string> split;
  for (auto& s : settings) {
    std::istringstream words(s);
    for (std::string w; words >> w;) split.push_back(w);
  }
  jobkit::MakeJobOptions options;
  options.settings = split;
  std::string script, error;
  EXPECT_TRUE(jobkit::makeJob(document, options, &script, &error)) << error;
  script = "ini \"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXLEN.INI\" DUPLEX MD_ManualDuplex \"" + md +
           "\"\n" + script;
  test::TestMachine m;
  std::vector<jobkit::Directive> directives;
  jobkit::ScriptError scriptError;
  EXPECT_TRUE(jobkit::parseScript(script, &directives, &scriptError)) << scriptError.message;
  jobkit::SimHost host(m.machine());
  jobkit::Player player(host, m.dir());
  player.onJob([&](const jobkit::JobSummary& j) { played.job = j; });
  EXPECT_TRUE(player.run(directives, &scriptError)) << scriptError.message;
  for (auto& d : m.portDocuments())
    if (!d.empty()) played.documents.push_back(d);
  played.said = !m->messageBoxes().empty() || !m.traces().empty();
  return played;
}

TEST(Combinations, EveryPairOfSettingsPrints) {
  REQUIRE_INTERPRETER();
  auto cases = pairwiseCases();
  TempDir dir;
  std::vector<fs::path> files;
  std::map<fs::path, std::string> labels;
  int told = 0, jobs = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    Played played = playCase(cases[i]);
    SCOPED_TRACE(played.label);
    ++jobs;
    if (played.documents.empty()) {
      EXPECT_TRUE(played.said) << "nothing printed, and nothing said";
      continue;
    }
    std::vector<int> pages;
    for (size_t d = 0; d < played.documents.size(); ++d) {
      fs::path file =
          write(dir.path, "case" + std::to_string(i) + "-" + std::to_string(d + 1) + ".prn", played.documents[d]);
      auto c = test::checkBytes(played.documents[d]);
      EXPECT_TRUE(c.problems().empty()) << file.filename() << ": " << c.problems()[0].message;
      pages.push_back(static_cast<int>(c.pages().size()));
      files.push_back(file);
      labels[file] = played.label;
    }
    told += !jobkit::pageLabels(played.job, pages).empty();
  }
  for (auto& [file, v] : print(files)) EXPECT_TRUE(v.ok()) << labels[file] << ": " << v.verdict;
  std::printf("%d jobs of %zu settings, every pair of values; the pages of %d told by their labels\n", jobs,
              kFactors.size(), told);
  EXPECT_GE(told * 2, jobs) << "most orders are ones the page labels tell";
}

}  // namespace
