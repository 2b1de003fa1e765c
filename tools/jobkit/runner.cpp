#include "jobkit/runner.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "jobkit/player.h"
#include "jobkit/syntax.h"
#include "jobkit/text.h"

namespace jobkit {

namespace {
constexpr size_t kEventBuffer = 64 * 1024;  // thousands of lines in a few system calls
}

fs::path Arguments::value(std::string_view option) const {
  fs::path last;
  for (auto& [name, v] : values)
    if (name == option) last = v;
  return last;
}

std::string narrowArgument(const char* arg) { return arg; }

std::string narrowArgument(const wchar_t* arg) {
  std::wstring w(arg);
  return utf8Of(std::u16string(w.begin(), w.end()));
}

std::string versionLine(std::string_view program) {
  return std::string(program) + ", of KQXLUMPD at " + KQXL_VERSION + "\n";
}

bool answeredHelp(const Arguments& args, std::string_view program, std::string_view usage) {
  if (args.help) std::cout << usage;
  else if (args.version) std::cout << versionLine(program);
  return args.help || args.version;
}

int usageError(std::string_view program, std::string_view message, std::string_view usage) {
  std::cerr << program << ": " << message << "\n" << usage;
  return kExitScriptError;
}

std::string scriptName(const fs::path& script) {
#ifdef _WIN32
  return narrowArgument(script.wstring().c_str());
#else
  return script.string();
#endif
}

namespace {

std::string documentKindOf(std::istream& in) {
  char head[16] = {};
  in.read(head, sizeof head);
  std::streamsize n = in.gcount();
  in.clear();
  in.seekg(0);
  return documentKind(std::string_view(head, static_cast<size_t>(n)));
}

}  // namespace

bool checkScriptFile(const fs::path& script, std::ostream& errors, std::string* machineSettings) {
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    errors << scriptName(script) << ": cannot read the job script: " << std::strerror(errno) << "\n";
    return false;
  }
  if (std::string kind = documentKindOf(in); !kind.empty()) {
    fs::path pxl = fs::path(script).replace_extension(".pxl"), job = fs::path(script).replace_extension(".job");
    errors << scriptName(script) << " is " << kind << ", not a job script: ";
    if (kind != "a PCL XL document") errors << conversionAdvice(scriptName(script), scriptName(pxl)) << "; then ";
    errors << "make a job script of it with kqxl-mkjob -o " << scriptName(job) << " [settings FIELD=VALUE ...] "
           << scriptName(kind == "a PCL XL document" ? script : pxl) << "\n";
    return false;
  }
  ScriptReader reader(in);
  ScriptCheck check(script.parent_path());
  Directive d;
  ScriptError error;
  while (reader.next(&d, &error)) {
    if (!check.directive(d, &error.message)) {
      error.line = d.line;
      break;
    }
    if (machineSettings && (d.verb == "codepage" || d.verb == "locale"))
      *machineSettings += (machineSettings->empty() ? "" : ", ") + d.verb + " " + d.args[0].value;
  }
  if (error.message.empty()) return true;
  errors << scriptName(script) << ":" << error.line << ": " << error.message << "\n";
  return false;
}

void reportTo(Player& player, RunReport& report) {
  player.onHook([&report](const HookResult& h) { report.hook(h); });
  player.onJob([&report](const JobSummary& j) { report.job(j); });
}

int playScriptFile(Player& player, const fs::path& script, std::string_view program, std::ostream& errors) {
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    errors << scriptName(script) << ": cannot read the job script: " << std::strerror(errno) << "\n";
    return kExitScriptError;
  }
  player.onWarning([&](int line, const std::string& warning) {
    errors << scriptName(script) + ":" + std::to_string(line) + ": warning: " + warning + "\n";
  });
  ScriptError error;
  if (!player.run(ScriptReader(in), &error)) {
    errors << scriptName(script) << ":" << error.line << ": " << error.message << "\n";
    return kExitScriptError;
  }
  if (!player.fatal().empty()) {
    errors << program << ": " << player.fatal() << "\n";
    return kExitFailed;
  }
  return 0;
}

// The buffer is not cleared (fresh pages are dear), and the files are
// closed, their last bytes written, before it goes.
EventLogs::EventLogs() : buffer_(std::make_unique_for_overwrite<char[]>(kEventBuffer)) {}

EventLogs::~EventLogs() {
  log_.close();
  extra_.close();
}

void EventLogs::openIn(const fs::path& folder, RunReport& report) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  fs::remove(folder / "events.jsonl", ec);
  log_.rdbuf()->pubsetbuf(buffer_.get(), kEventBuffer);
  log_.open(folder / "events.jsonl", std::ios::binary | std::ios::trunc);
  report.addEventStream(&log_);
}

void EventLogs::alsoTo(const fs::path& file, RunReport& report, std::ostream& standardError) {
  if (file == "-") {
    report.addEventStream(&standardError);
  } else if (!file.empty()) {
    extra_.open(file, std::ios::binary | std::ios::trunc);
    report.addEventStream(&extra_);
  }
}

}  // namespace jobkit
