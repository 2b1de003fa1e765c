// A fresh simulated machine for one test: a copy of the default machine in
// a temporary folder, documents kept in memory, removed afterwards.
#pragma once

#include <winsim/machine.h>
#include <winsim/spooler.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include "jobkit/player.h"
#include "jobkit/simhost.h"
#include "jobkit/settings.h"

namespace test {

namespace fs = std::filesystem;

inline constexpr char16_t kPrinter[] = u"KQ PCL6 Laser";
inline constexpr char16_t kDriverDir[] = u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\";

class TestMachine {
 public:
  TestMachine();
  ~TestMachine();

  winsim::Machine& machine() { return *machine_; }
  winsim::Machine* operator->() { return machine_.get(); }

  // The bytes of spooler document n (1-based), as far as written.
  std::string document(int n) const;
  int documentCount() const;
  // The bytes of the nth document that went to the port (1-based); the
  // documents written to files, such as the watermark files, are left out.
  std::string printed(int n) const;
  // Every document that went to the port, in order.
  std::vector<std::string> portDocuments() const;
  // The watermark file of an orientation as the last job made it.
  std::string watermarkFile(int orientation = 1);
  // The direct or spool form of the watermark block around that file.
  std::string watermarkBlock(bool clip = true, int orientation = 1);

  // Plays a job script; fails the test on a script error.
  void play(const std::string& script);
  // The same `times` over, from any thread and beside others (the hook
  // results are not kept).
  void playRepeatedly(const std::string& script, int times = 1);
  // The hook results of the scripts played so far, in order.
  const std::vector<jobkit::HookResult>& hooks() const { return hooks_; }
  // The traces of the component that are not hook names or the page index.
  std::vector<std::u16string> traces() const { return machine_->traces(); }
  bool hasTrace(std::u16string_view line) const {
    auto t = traces();
    return std::find(t.begin(), t.end(), line) != t.end();
  }
  // Whether a trace says `part`, wherever in its line.
  bool traced(std::u16string_view part) const {
    auto t = traces();
    return std::any_of(t.begin(), t.end(), [&](const std::u16string& l) { return l.find(part) != l.npos; });
  }

  static std::string slurpHost(const fs::path& p);

  // Writes a host file beside the scripts (for "write file").
  fs::path hostFile(const std::string& name, const std::string& bytes);
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
  std::unique_ptr<winsim::Machine> machine_;
  // Filled by the port's sinks, on the jobs' threads.
  struct Documents {
    std::mutex mu;
    std::map<int, std::string> bytes;
  };
  std::shared_ptr<Documents> docs_;
  std::vector<jobkit::HookResult> hooks_;
};

// The settings record as bytes, with the default printer's name.
std::vector<uint8_t> settingsRecord(const jobkit::SettingsBuilder& b, std::u16string_view printer = kPrinter);

// What a test expects a closed job to leave: nothing.
std::string leaksOf(const winsim::Machine& m);

}  // namespace test
