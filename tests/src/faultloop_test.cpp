// The fault loop: every example and every end-to-end job, played once for
// each call that could fail, with that call failing. No run crashes, trips
// a sanitizer or leaves anything behind, and none loses output without
// saying so: where the port output differs from the fault-free run, a hook
// failed, a message box came or a trace was written, and the output is what
// was said: data said to be left out leaves the rest as it was. Not even the replay at
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

// With `uncancelled`, the script's cancels are left out: a cancel after the
// Nth write falls elsewhere once a fault changed the writes.
Outcome play(const fs::path& script, const std::optional<winsim::FaultPlan>& fault, bool uncancelled = false) {
  Outcome o;
  test::TestMachine m;
  size_t rule = fault ? m->addFault(*fault) : 0;
  std::ifstream in(script, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<jobkit::Directive> directives;
  jobkit::ScriptError error;
  EXPECT_TRUE(jobkit::parseScript(text.str(), &directives, &error)) << error.message;
  if (uncancelled) std::erase_if(directives, [](auto& d) { return d.verb == "cancel"; });
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
enum class Effect { Unchanged, LeftOut, Replaced, Listed, Silent, NotAsAnnounced, Unannounced };
constexpr const char* kEffectNames[] = {
    "unchanged", "left out", "replaced", "listed", "SILENT", "NOT AS ANNOUNCED", "UNKNOWN ANNOUNCEMENT"};

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

// What the component says when a call fails, and what that does to the
// output. Whatever leaves data out must leave the rest as it was: the
// output is the fault-free output with bytes missing, never with bytes of
// its own. What prints the job another way says so.
enum class Announced { LeftOut, Replaced };
constexpr std::pair<std::string_view, Announced> kAnnouncements[] = {
    // a hook that failed did not take its data, or the job
    {"hook ", Announced::LeftOut},
    {"Could not write to the spool file.", Announced::LeftOut},
    {"Short read from the spool file", Announced::LeftOut},
    {"Could not position the spool file", Announced::LeftOut},
    {"writes to the printer failed in the replay", Announced::LeftOut},
    {"The instruction page could not be read", Announced::LeftOut},
    {"The page prefixes could not be read from the spool file", Announced::LeftOut},
    {"The job was cancelled", Announced::LeftOut},
    {"Could not write to the capture file.", Announced::LeftOut},
    {"Failed to print in reverse order", Announced::LeftOut},
    {"The job's header lost a buffer", Announced::LeftOut},
    {"Failed in collation printing", Announced::LeftOut},
    {"failed between the passes", Announced::LeftOut},
    {"Failed to start the second pass of the job", Announced::LeftOut},
    {"The captured text could not be replayed", Announced::LeftOut},
    {"Failed to write date to the printer", Announced::LeftOut},
    {"Failed to read file: dwTextfileCount", Announced::LeftOut},
    {"The printer port is in use by the scanner", Announced::LeftOut},
    {"Der Druckeranschluss wird vom Scanner benutzt", Announced::LeftOut},
    // printed another way: without the form or the watermark, with other
    // texts or options, unspooled, pages kept together
    {"The job's form cannot be printed", Announced::Replaced},
    {"is no form that can be printed", Announced::Replaced},
    {"is not opened:", Announced::Replaced},
    {"Overlay recording to", Announced::Replaced},
    {"Failed in Writing Overlay file", Announced::Replaced},
    {"Failed to CreateFile in Create Overlay", Announced::Replaced},
    {"The form recorded cannot be printed", Announced::Replaced},
    {"Could not create temporary file.", Announced::Replaced},
    {"Could not grow the page index.", Announced::Replaced},
    {"Could not make the page orientation array.", Announced::Replaced},
    {"Could not grow the page orientation array.", Announced::Replaced},
    {"The driver's folder is not known", Announced::Replaced},
    {"The printer's port could not be read", Announced::Replaced},
    {"The scanner component could not be loaded", Announced::Replaced},
    {"No language INI file was found", Announced::Replaced},
    {"the locale chooses the language", Announced::Replaced},
    {"failed to MultiByteToWideChar", Announced::Replaced},
    {"The driver's INI file could not be read", Announced::Replaced},
    {"A message box could not be shown", Announced::Replaced},
    {"Create Page Overlay ?", Announced::Replaced},
    {"Failed to CreateFile", Announced::Replaced},
    {"Failed to SetFilePointer", Announced::Replaced},
    {"Failed to startDoc", Announced::Replaced},
    {"Failed to createFont", Announced::Replaced},
    {"Failed to createDC in PSUI", Announced::Replaced},
    {"Failed to TextOut", Announced::Replaced},
    {"Failed to createPen", Announced::Replaced},
    {"failed to allocate memeory", Announced::Replaced},
    {"Failed to ReadFile", Announced::Replaced},
    {"Failed to GetFileSize", Announced::Replaced},
    {"atermark", Announced::Replaced},
};

std::optional<Announced> announcementOf(std::string_view said) {
  for (auto& [text, kind] : kAnnouncements)
    if (said.find(text) != std::string_view::npos) return kind;
  return std::nullopt;
}

// What `now` has that `before` does not: the failed hooks, boxes and traces
// the fault brought. One that went missing says nothing to anybody.
template <typename T>
std::vector<T> brought(std::vector<T> now, std::vector<T> before) {
  std::sort(now.begin(), now.end());
  std::sort(before.begin(), before.end());
  std::vector<T> added;
  std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::back_inserter(added));
  return added;
}

std::vector<std::string> saidOnlyUnder(const Outcome& o, const Outcome& clean) {
  std::vector<std::string> said;
  for (auto& h : brought(o.failedHooks, clean.failedHooks)) said.push_back("hook " + h);
  for (auto& b : brought(o.boxes, clean.boxes)) said.push_back(winsim::toUtf8(b));
  for (auto& t : brought(o.traces, clean.traces)) said.push_back(winsim::toUtf8(t));
  // The spool file's index, the hooks called and error numbers on lines of
  // their own are no news.
  std::erase_if(said, [](auto& s) {
    return s.find("pData->file_info.") != std::string::npos || s.starts_with("KQXLUMPD: ") ||
           s.find_first_not_of("0123456789 \n") == std::string::npos;
  });
  return said;
}

// Whether `part` is `whole` with bytes left out, in order.
bool leftOut(const std::string& part, const std::string& whole) {
  size_t at = 0;
  for (char c : part) {
    at = whole.find(c, at);
    if (at == std::string::npos) return false;
    ++at;
  }
  return true;
}

std::string joined(const std::vector<std::string>& documents) {
  std::string all;
  for (auto& d : documents) all += d;
  return all;
}

Effect effectOf(const std::string& function, const Outcome& o, const Outcome& clean, const Outcome& uncancelled,
                std::string* unknown) {
  if (o.documents == clean.documents) return Effect::Unchanged;
  std::vector<std::string> said = saidOnlyUnder(o, clean);
  if (said.empty()) return listed(function) ? Effect::Listed : Effect::Silent;
  bool replaced = false;
  for (auto& s : said) {
    std::optional<Announced> kind = announcementOf(s);
    if (!kind) return *unknown = s, Effect::Unannounced;
    replaced = replaced || kind == Announced::Replaced;
  }
  if (replaced) return Effect::Replaced;
  std::string got = joined(o.documents);
  bool asSaid = leftOut(got, joined(clean.documents)) || leftOut(got, joined(uncancelled.documents));
  return asSaid ? Effect::LeftOut : Effect::NotAsAnnounced;
}

class FaultLoop : public ::testing::TestWithParam<fs::path> {};

TEST_P(FaultLoop, EveryFailingCallIsSurvivedAndReported) {
  const fs::path& script = GetParam();
  Outcome clean = play(script, std::nullopt);
  ASSERT_EQ(clean.leaks, "");
  Outcome uncancelled = play(script, std::nullopt, true);
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
      std::string unknown;
      Effect e = effectOf(function, o, clean, uncancelled, &unknown);
      ++effects[static_cast<int>(e)];
      EXPECT_NE(e, Effect::Silent) << "output changed silently (the fault hit in " << o.hookOfFault << ")";
      EXPECT_NE(e, Effect::NotAsAnnounced) << "data was said to be left out, but the output has bytes of its own "
                                           << "(the fault hit in " << o.hookOfFault << "): " << [&] {
                                                std::string all;
                                                for (auto& said : saidOnlyUnder(o, clean)) all += said + " | ";
                                                return all;
                                              }();
      EXPECT_NE(e, Effect::Unannounced) << "an announcement the loop does not know: " << unknown;
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
