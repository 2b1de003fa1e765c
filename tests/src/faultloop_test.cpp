// The fault loop: every example and every end-to-end job, played once for
// each call that could fail, with that call failing. No run crashes, trips
// a sanitizer or leaves anything behind, and none loses output without
// saying so: where the port output differs from the fault-free run, a hook
// failed, a message box came or a trace was written. Not even the replay at
// the end of the document, whose writes the printer's design does not
// examine and whose hook has no result, loses anything unsaid: it traces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "support/test_machine.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  std::vector<std::string> documents;
  std::vector<std::u16string> boxes, traces;
  std::vector<std::string> failedHooks;
  std::string leaks;
  std::map<std::string, int> points;
  std::string hookOfFault;  // the hook during which the injected fault hit
  int fired = 0;            // how often the injected fault hit
};

Outcome play(const fs::path& script, const std::optional<winsim::FaultPlan>& fault) {
  Outcome o;
  test::TestMachine m;
  size_t rule = fault ? m->addFault(*fault) : 0;
  std::ifstream in(script, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<jobkit::Directive> directives;
  jobkit::ScriptError error;
  EXPECT_TRUE(jobkit::parseScript(text.str(), &directives, &error)) << error.message;
  jobkit::SimHost host(m.machine());
  jobkit::Player player(host, script.parent_path());
  player.onHook([&](const jobkit::HookResult& h) {
    bool startDoc = std::string(h.hook) == "DrvSplStartDoc";
    if (startDoc ? h.handleNull : (h.hasResult && h.result == 0)) o.failedHooks.push_back(h.hook);
    if (o.hookOfFault.empty() && m->faultsFired() > 0) o.hookOfFault = h.hook;
  });
  EXPECT_TRUE(player.run(directives, &error)) << error.line << ": " << error.message;
  for (int d = 1; d <= m.documentCount(); ++d) o.documents.push_back(m.document(d));
  for (auto& b : m->messageBoxes()) o.boxes.push_back(b.text);
  // The spool file's name is new in every run (its unique number comes from
  // the clock): traces name it the same way for comparing.
  for (auto t : m.traces()) {
    size_t at = t.find(u"\\ZQP");
    if (at != std::u16string::npos) t = t.substr(0, at) + u"\\ZQP####.tmp";
    o.traces.push_back(t);
  }
  o.leaks = test::leaksOf(m.machine());
  o.points = m->faultPoints();
  o.fired = fault ? m->faultFired(rule) : 0;
  return o;
}

// The calls of a function that the loop fails: all of them, or, for a
// function called very often, the first ones and an even spread of the rest.
std::vector<int> pointsToFail(int count) {
  constexpr int kAll = 60;
  std::vector<int> nth;
  for (int n = 1; n <= std::min(count, kAll); ++n) nth.push_back(n);
  for (int n = kAll + 1, step = std::max(1, (count - kAll) / 40); n <= count; n += step) nth.push_back(n);
  return nth;
}

std::vector<fs::path> jobScripts() {
  std::vector<fs::path> scripts;
  // The last folder's jobs reach paths the others cannot, with a fault of
  // their own at the start.
  for (const char* dir : {KQXL_SOURCE_DIR "/examples", KQXL_SOURCE_DIR "/tests/tools/kqxl-run-win/jobs",
                          KQXL_SOURCE_DIR "/tests/data/faultloop"})
    for (auto& e : fs::directory_iterator(dir))
      if (e.path().extension() == ".job") scripts.push_back(e.path());
  std::sort(scripts.begin(), scripts.end());
  return scripts;
}

// What a failing call did to the job, as the loop reports it.
enum class Effect { Unchanged, FailedHook, MessageBox, Trace, Listed, Silent };
constexpr const char* kEffectNames[] = {"unchanged", "failed hook", "message box", "trace", "listed", "SILENT"};

// Calls whose failure may change the output with nothing said, and why;
// docs/robustness.md keeps the same list.
constexpr std::pair<std::string_view, std::string_view> kListed[] = {
    {"GetDeviceCaps",
     "no failure value: a failed PHYSICALOFFSETX or PHYSICALOFFSETY reads as a margin of 0, which a page "
     "without margins really has; the watermark then sits off centre by the margin"},
};

bool listed(std::string_view function) {
  return std::any_of(std::begin(kListed), std::end(kListed), [&](auto& l) { return l.first == function; });
}

// Something in `now` that `before` does not have: a failed hook, box or
// trace the fault brought. One that went missing says nothing to anybody.
template <typename T>
bool brings(std::vector<T> now, std::vector<T> before) {
  std::sort(now.begin(), now.end());
  std::sort(before.begin(), before.end());
  std::vector<T> added;
  std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::back_inserter(added));
  return !added.empty();
}

Effect effectOf(const std::string& function, const Outcome& o, const Outcome& clean) {
  if (o.documents == clean.documents) return Effect::Unchanged;
  if (brings(o.failedHooks, clean.failedHooks)) return Effect::FailedHook;
  if (brings(o.boxes, clean.boxes)) return Effect::MessageBox;
  if (brings(o.traces, clean.traces)) return Effect::Trace;
  return listed(function) ? Effect::Listed : Effect::Silent;
}

class FaultLoop : public ::testing::TestWithParam<fs::path> {};

TEST_P(FaultLoop, EveryFailingCallIsSurvivedAndReported) {
  const fs::path& script = GetParam();
  Outcome clean = play(script, std::nullopt);
  ASSERT_EQ(clean.leaks, "");
  int runs = 0;
  std::string report;
  for (auto& [function, count] : clean.points) {
    int effects[std::size(kEffectNames)] = {};
    for (int nth : pointsToFail(count)) {
      SCOPED_TRACE(function + " call " + std::to_string(nth));
      Outcome o = play(script, winsim::FaultPlan{function, nth});
      ++runs;
      EXPECT_EQ(o.fired, 1) << "the call was counted but could not be failed";
      EXPECT_EQ(o.leaks, "");
      Effect e = effectOf(function, o, clean);
      ++effects[static_cast<int>(e)];
      EXPECT_TRUE(e != Effect::Silent) << "output changed silently (the fault hit in " << o.hookOfFault << ")";
    }
    report += "  " + function + " x" + std::to_string(count) + ":";
    for (size_t e = 0; e < std::size(kEffectNames); ++e)
      if (effects[e]) report += " " + std::to_string(effects[e]) + " " + kEffectNames[e] + ",";
    report.back() = '\n';
  }
  RecordProperty("runs", runs);
  std::printf(
      "%s: %d fault points, %d runs\n%s", script.filename().c_str(),
      [&] {
        int n = 0;
        for (auto& p : clean.points) n += p.second;
        return n;
      }(),
      runs, report.c_str());
}

std::string nameOf(const ::testing::TestParamInfo<fs::path>& info) {
  std::string n = info.param.stem().string();
  std::replace(n.begin(), n.end(), '-', '_');
  return n;
}

INSTANTIATE_TEST_SUITE_P(Jobs, FaultLoop, ::testing::ValuesIn(jobScripts()), nameOf);

}  // namespace
