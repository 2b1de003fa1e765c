// Job scripts: one directive a line, played through the hooks the way the
// spooler calls them, on whatever host the runner provides.
// docs/job-script.md is the reference.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "jobkit/host.h"
#include "jobkit/settings.h"
#include "jobkit/syntax.h"

namespace jobkit {

namespace fs = std::filesystem;

class Player {
 public:
  using HookCallback = std::function<void(const HookResult&)>;
  // The directives that call the component's hooks.
  enum class Hook { StartDoc, Write, StartPage, EndPage, EndDoc, Abort, Close, Cancel };

  Player(Host& host, fs::path scriptDir);
  ~Player();

  void onHook(HookCallback callback) { onHook_ = std::move(callback); }
  // Each job's summary, once, before its documents end (at its enddoc, or
  // at its close when it had none).
  void onJob(std::function<void(const JobSummary&)> callback) { onJob_ = std::move(callback); }
  // What the settings record would print other than as its settings say,
  // at the `write settings` that sends it (each warning once a script).
  void onWarning(std::function<void(int line, const std::string&)> callback) { onWarning_ = std::move(callback); }
  // Every buffer handed to DrvSplWritePrinter, before the call.
  void onBuffer(std::function<void(const void*, size_t)> callback) { onBuffer_ = std::move(callback); }

  // Runs the directives in order; false with the error of the directive
  // that could not be carried out. A job still open at the end is closed,
  // as the spooler closes every job.
  bool run(const std::vector<Directive>& script, ScriptError* error);
  // The same, reading the directives from the script's text as it goes.
  bool run(ScriptReader script, ScriptError* error);

  // What can be told of a directive before anything plays: its verb, the
  // words it takes (argumentsFit), the settings fields it names. False with
  // the error.
  static bool check(const Directive& d, std::string* error);

  // When the component could not be loaded at all (not a script error).
  const std::string& fatal() const { return fatal_; }

 private:
  static std::vector<std::string_view> verbs();
  bool step(const Directive& d, std::string* error);
  bool play(const Directive& d, ScriptError* error, bool* stop);
  // The machine verbs, a handler each (kMachineVerbs).
  struct MachineVerb;
  static const MachineVerb kMachineVerbs[];
  bool printerVerb(const Directive& d, std::string* error);
  bool printerDataVerb(const Directive& d, std::string* error);
  bool fileVerb(const Directive& d, std::string* error);
  bool scannerVerb(const Directive& d, std::string* error);
  bool holdVerb(const Directive& d, std::string* error);
  bool releaseVerb(const Directive& d, std::string* error);
  bool deleteVerb(const Directive& d, std::string* error);
  bool folderVerb(const Directive& d, std::string* error);
  bool iniVerb(const Directive& d, std::string* error);
  bool registryVerb(const Directive& d, std::string* error);
  bool localeVerb(const Directive& d, std::string* error);
  bool answerVerb(const Directive& d, std::string* error);
  bool failVerb(const Directive& d, std::string* error);
  bool settingsVerb(const Directive& d, std::string* error);
  bool hookDirective(Hook hook, const Directive& d, std::string* error);
  // cancel [writes=N | box | document-end]: when the user cancels the job.
  static bool cancelPlanOf(const Directive& d, winsim::CancelPlan* plan, std::string* error);
  bool writeDirective(const Directive& d, std::string* error);
  bool writeMarker(const Directive& d, std::string* error);
  bool writeFile(const Directive& d, std::string* error);
  bool writeBuffer(const void* data, size_t size);
  // The host files `write file` reads stay open for the whole script and
  // are read ahead in large pieces: a job made of thousands of ranges of
  // one document opens it once and reads it in a few hundred calls.
  class HostFile {
   public:
    explicit HostFile(const fs::path& path);
    bool isOpen() const { return bool(in_); }
    const fs::path& path() const { return path_; }
    long long size() const { return size_; }
    // The `n` bytes at `offset`, valid until the next call; null when the
    // file has fewer.
    const char* bytes(long long offset, size_t n);

   private:
    void grow(size_t capacity, size_t keep);

    static constexpr size_t kReadAhead = 256 * 1024;
    fs::path path_;
    std::ifstream in_;
    long long size_ = 0;
    long long position_ = 0;          // the stream's, -1 when unknown
    std::unique_ptr<char[]> window_;  // not cleared: fresh pages are dear
    size_t windowCapacity_ = 0;
    long long windowStart_ = 0;
    size_t windowLength_ = 0;
  };
  HostFile* openHostFile(const std::string& name);  // as the script names it
  void closeJob();
  void report();

  Host& host_;
  fs::path scriptDir_;
  std::u16string printer_ = u"KQ PCL6 Laser";
  SettingsBuilder settings_;
  std::unique_ptr<SpoolerJob> job_;
  bool jobRefused_ = false;
  HookCallback onHook_;
  std::function<void(const JobSummary&)> onJob_;
  JobSummary summary_;
  bool summarised_ = true;
  void summarise();
  std::function<void(const void*, size_t)> onBuffer_;
  std::function<void(int, const std::string&)> onWarning_;
  std::set<std::string> warned_;
  std::string fatal_;
  std::map<std::string, HostFile> hostFiles_;
};

// A host file named in a script (UTF-8, relative to the script's folder).
fs::path hostFileOf(const fs::path& scriptDir, const std::string& utf8);

// A whole script checked before anything plays, one directive after the
// other: each directive's own check (Player::check), a hook directive only
// in an open job, and every host file it names there.
class ScriptCheck {
 public:
  explicit ScriptCheck(fs::path scriptDir) : scriptDir_(std::move(scriptDir)) {}
  bool directive(const Directive& d, std::string* error);

 private:
  bool jobState(const Directive& d, std::string* error);
  bool hostFiles(const Directive& d, std::string* error) const;
  enum class Job { None, Open, Closed };
  fs::path scriptDir_;
  Job job_ = Job::None;
};

// The words a directive takes: false, with the usage, for one more or one
// it does not know.
bool argumentsFit(const Directive& d, std::string* error);

}  // namespace jobkit
