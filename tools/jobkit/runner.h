// What every runner of job scripts shares: the command line, the script
// checked whole before anything plays, errors reported as FILE:LINE:
// message, the event log files, and the exit codes.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jobkit/player.h"
#include "jobkit/report.h"

namespace jobkit {

namespace fs = std::filesystem;

// 0: the scripts ran to their end, whatever the hooks returned.
constexpr int kExitFailed = 1;       // anything but a script error
constexpr int kExitScriptError = 2;  // a script error or a usage error

// One option of a runner: a flag, or one that takes the value named in
// `needs` ("a folder").
struct RunnerOption {
  std::string_view name;
  std::string_view needs;
};

struct Arguments {
  bool help = false;
  bool version = false;
  std::set<std::string, std::less<>> flags;
  std::vector<std::pair<std::string, fs::path>> values;  // in the order given
  std::vector<fs::path> operands;

  bool has(std::string_view flag) const { return flags.count(flag) > 0; }
  // The last value given for the option, or an empty path.
  fs::path value(std::string_view option) const;
};

// Reads argv (char on this machine, wchar_t on Windows); false with the
// reason in *error for an option missing its value or an unknown one.
template <typename Char>
bool parseArguments(int argc, Char** argv, const std::vector<RunnerOption>& known, Arguments* out, std::string* error);

// "PROGRAM, of KQXLUMPD at COMMIT": what --version prints, for every tool.
std::string versionLine(std::string_view program);
// --help's usage or --version's line on standard output: true when one was
// asked for, and the program has nothing more to do.
bool answeredHelp(const Arguments& args, std::string_view program, std::string_view usage);

// "PROGRAM: message", then the usage; the exit code of a usage error.
int usageError(std::string_view program, std::string_view message, std::string_view usage);

// A script's name as its errors show it (UTF-8).
std::string scriptName(const fs::path& script);

// The whole script checked before anything plays: false, reported as
// "FILE:LINE: message" (or that it cannot be read), for a script error.
bool checkScriptFile(const fs::path& script, std::ostream& errors, std::string* machineSettings = nullptr);

// What a player does goes to a run's report: every hook's result and each
// job's summary.
void reportTo(Player& player, RunReport& report);

// Plays the script, read again as it plays, and gives the exit code: a
// script error as FILE:LINE: message, a fatal stop of the player as
// "PROGRAM: why".
int playScriptFile(Player& player, const fs::path& script, std::string_view program, std::ostream& errors);

// The event log files of a run: DIR/events.jsonl, replaced (not truncated:
// a reader of the old one keeps it), written through a large buffer, and a
// further file or standard error ("-") as --events names it.
class EventLogs {
 public:
  EventLogs();
  ~EventLogs();
  EventLogs(const EventLogs&) = delete;
  EventLogs& operator=(const EventLogs&) = delete;

  void openIn(const fs::path& folder, RunReport& report);
  void alsoTo(const fs::path& file, RunReport& report, std::ostream& standardError);

 private:
  std::unique_ptr<char[]> buffer_;
  std::ofstream log_, extra_;
};

// Implementation of the template.

std::string narrowArgument(const char* arg);
std::string narrowArgument(const wchar_t* arg);

template <typename Char>
bool parseArguments(int argc, Char** argv, const std::vector<RunnerOption>& known, Arguments* out, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string a = narrowArgument(argv[i]);
    if (a == "-h" || a == "--help") {
      out->help = true;
      return true;
    }
    if (a == "--version") {
      out->version = true;
      return true;
    }
    const RunnerOption* option = nullptr;
    for (auto& o : known)
      if (a == o.name) option = &o;
    if (option && option->needs.empty()) {
      out->flags.insert(a);
    } else if (option) {
      if (i + 1 >= argc) return *error = a + " needs " + std::string(option->needs), false;
      out->values.emplace_back(a, fs::path(argv[++i]));
    } else if (!a.empty() && a[0] == '-') {
      return *error = "unknown option " + a, false;
    } else {
      out->operands.emplace_back(argv[i]);
    }
  }
  return true;
}

}  // namespace jobkit
