// Job scripts: one directive a line, played through the hooks the way the
// spooler calls them, on whatever host the runner provides.
// docs/job-script.md is the reference.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
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

  Player(Host& host, fs::path scriptDir);
  ~Player();

  void onHook(HookCallback callback) { onHook_ = std::move(callback); }
  // Every buffer handed to DrvSplWritePrinter, before the call.
  void onBuffer(std::function<void(const void*, size_t)> callback) { onBuffer_ = std::move(callback); }

  // Runs the directives in order; false with the error of the directive
  // that could not be carried out. A job still open at the end is closed,
  // as the spooler closes every job.
  bool run(const std::vector<Directive>& script, ScriptError* error);

  // When the component could not be loaded at all (not a script error).
  const std::string& fatal() const { return fatal_; }

 private:
  bool step(const Directive& d, std::string* error);
  bool machineDirective(const Directive& d, std::string* error, bool* handled);
  bool hookDirective(const Directive& d, std::string* error);
  bool writeDirective(const Directive& d, std::string* error);
  bool writeBuffer(const void* data, size_t size);
  // The host files `write file` reads stay open for the whole script: a
  // job made of many ranges of one document opens it once.
  struct HostFile {
    std::ifstream in;
    long long size;
  };
  HostFile* openHostFile(const fs::path& host);
  void closeJob();
  void report();

  Host& host_;
  fs::path scriptDir_;
  std::u16string printer_ = u"KQ PCL6 Laser";
  SettingsBuilder settings_;
  std::unique_ptr<SpoolerJob> job_;
  bool jobRefused_ = false;
  HookCallback onHook_;
  std::function<void(const void*, size_t)> onBuffer_;
  std::string fatal_;
  std::map<fs::path, HostFile> hostFiles_;
  std::vector<char> buffer_;  // what `write file` reads into
};

// A host file named in a script (UTF-8, relative to the script's folder).
fs::path hostFileOf(const fs::path& scriptDir, const std::string& utf8);

}  // namespace jobkit
