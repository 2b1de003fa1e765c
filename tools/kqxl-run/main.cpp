// kqxl-run: plays a job script through the component's hooks on a
// simulated machine, as the print spooler does, and writes what reached
// the printer port.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "jobkit/player.h"
#include "jobkit/report.h"
#include "jobkit/runner.h"
#include "jobkit/simhost.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] = R"(usage: kqxl-run [options] JOBSCRIPT...

Plays JOBSCRIPT through the KQXLUMPD spooler hooks on a simulated Windows
machine and writes what reached the printer port. Several scripts play at
once on the one machine, a thread each, as jobs on several printers do.

options:
  -o DIR            write DIR/doc-1.prn, doc-2.prn, ... (one per spooler
                    document) and DIR/events.jsonl; without -o the bytes of
                    all documents go to standard output unless it is a
                    terminal. With several scripts, each writes to
                    DIR/NAME/, NAME its file name without .job, its
                    documents numbered from 1
  --machine DIR     use the machine folder DIR, creating it from the default
                    machine when it does not exist, and keep it
  --image DIR       the default machine to start from (default: the build's)
  --events FILE     write the event log to FILE as well ("-" for stderr)
  --log-api         log every Win32 call the component makes ({"event":"api"})
  --interactive     ask each message box on the terminal instead of the
                    script's answers
  --fail FUNCTION   every call of FUNCTION fails, as a script's "fail
                    FUNCTION every" before its first line (repeatable)
  -h, --help        this text
  --version         the tools' version (the commit they were built from)

The job script reference is docs/job-script.md. Events (JSON Lines):
  {"event":"hook","hook":"DrvSplWritePrinter","result":1,"written":1625}
  {"event":"trace","text":"..."}
  {"event":"messagebox","text":"...","caption":null,"style":16,"answer":"OK"}
  {"event":"job","document":"...","pages":N,"settings":{...}}
  {"event":"document","number":1,"name":"...","bytes":N,"file":"doc-1.prn"}
  {"event":"api",...}        with --log-api
  {"event":"leak",...}       whatever the component left behind, at exit
Exit status: 0 when the scripts ran to their end, whatever the hooks
returned; 2 for a script error (reported as FILE:LINE: message); 1 for
anything else.
)";

class StdoutSink : public winsim::DocumentSink {
 public:
  // Standard output, or nowhere when it is a terminal.
  explicit StdoutSink(FILE* f) : f_(f) {}
  bool write(const void* data, size_t size) override { return !f_ || std::fwrite(data, 1, size, f_) == size; }
  void finish() override {
    if (f_) std::fflush(f_);
  }

 private:
  FILE* f_;
};

// A port document's file, judged by the checker as the port writes it.
class JudgedSink : public winsim::DocumentSink {
 public:
  JudgedSink(std::unique_ptr<winsim::DocumentSink> file, std::shared_ptr<jobkit::PrinterVerdict> verdict)
      : file_(std::move(file)), verdict_(std::move(verdict)) {}
  bool write(const void* data, size_t size) override {
    if (!file_->write(data, size)) return false;
    verdict_->feed(data, size);
    return true;
  }
  void finish() override { file_->finish(); }

 private:
  std::unique_ptr<winsim::DocumentSink> file_;
  std::shared_ptr<jobkit::PrinterVerdict> verdict_;
};

struct Options {
  std::vector<fs::path> scripts;
  fs::path outDir;
  fs::path machineDir;
  fs::path image = KQXL_MACHINE_IMAGE;
  fs::path eventsFile;
  bool logApi = false;
  bool interactive = false;
  std::vector<std::string> failing;  // functions that fail at every call
};

const std::vector<jobkit::RunnerOption> kOptions = {
    {"-o", "a folder"}, {"--machine", "a folder"}, {"--image", "a folder"}, {"--events", "a file"},
    {"--log-api", ""},  {"--interactive", ""},     {"--fail", "a function"}};

// One script's run: its report and where its documents go.
struct ScriptRun {
  fs::path script, out;
  jobkit::RunReport report{std::cerr};
  jobkit::EventLogs events;
  std::map<int, int> numbers;                                       // the machine's document numbers -> this script's
  std::mutex verdictsMu;                                            // a cancel may end a document on another thread
  std::map<int, std::shared_ptr<jobkit::PrinterVerdict>> verdicts;  // by the machine's number

  std::optional<std::string> takeVerdict(int number) {
    std::lock_guard g(verdictsMu);
    auto it = verdicts.find(number);
    if (it == verdicts.end()) return std::nullopt;
    std::string text = it->second->text();
    verdicts.erase(it);
    return text;
  }
  std::string machineSettings;  // its codepage and locale directives
  int exitCode = 0;

  void play(winsim::Machine& machine);
};

// The script whose thread is running, for the machine's callbacks.
thread_local ScriptRun* tRun = nullptr;

void ScriptRun::play(winsim::Machine& machine) {
  tRun = this;
  jobkit::SimHost host(machine);
  jobkit::Player player(host, script.parent_path());
  jobkit::reportTo(player, report);
  exitCode = jobkit::playScriptFile(player, script, "kqxl-run", std::cerr);
  tRun = nullptr;
}

using Runs = std::vector<std::unique_ptr<ScriptRun>>;

int usageError(const std::string& message) { return jobkit::usageError("kqxl-run", message, kUsage); }

int askOnTerminal(const winsim::MessageBoxRecord& box) {
  std::FILE* tty = std::fopen("/dev/tty", "r+");
  if (!tty) return IDOK;
  std::fprintf(tty, "\n[%s] %s\n", box.caption ? winsim::toUtf8(*box.caption).c_str() : "",
               winsim::toUtf8(box.text).c_str());
  UINT type = box.style & MB_TYPEMASK;
  const char* choices = type == MB_OKCANCEL      ? "OK/CANCEL"
                        : type == MB_YESNO       ? "YES/NO"
                        : type == MB_YESNOCANCEL ? "YES/NO/CANCEL"
                        : type == MB_RETRYCANCEL ? "RETRY/CANCEL"
                                                 : "OK";
  std::fprintf(tty, "answer (%s): ", choices);
  std::fflush(tty);
  char line[64] = {};
  int answer = IDOK;
  if (std::fgets(line, sizeof line, tty)) {
    std::string a(line);
    for (auto& c : a) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    a.erase(a.find_last_not_of(" \r\n") + 1);
    const std::pair<const char*, int> names[] = {{"OK", IDOK},        {"CANCEL", IDCANCEL}, {"YES", IDYES},
                                                 {"NO", IDNO},        {"RETRY", IDRETRY},   {"ABORT", IDABORT},
                                                 {"IGNORE", IDIGNORE}};
    for (auto& [name, id] : names)
      if (a == name) answer = id;
  }
  std::fclose(tty);
  return answer;
}

// The command line; a usage error's exit code, or 0.
int readOptions(int argc, char** argv, Options* opt, bool* help) {
  jobkit::Arguments args;
  std::string error;
  if (!jobkit::parseArguments(argc, argv, kOptions, &args, &error)) return usageError(error);
  *help = jobkit::answeredHelp(args, "kqxl-run", kUsage);
  opt->outDir = args.value("-o");
  opt->machineDir = args.value("--machine");
  if (fs::path image = args.value("--image"); !image.empty()) opt->image = image;
  opt->eventsFile = args.value("--events");
  opt->logApi = args.has("--log-api");
  opt->interactive = args.has("--interactive");
  for (auto& [option, value] : args.values)
    if (option == "--fail") {
      if (!winsim::Machine::canFail(value.string())) return usageError(value.string() + " cannot be made to fail");
      opt->failing.push_back(value.string());
    }
  opt->scripts = args.operands;
  if (*help) return 0;
  if (opt->scripts.empty()) return usageError("no job script");
  if (opt->scripts.size() > 1 && opt->outDir.empty()) return usageError("several scripts need -o DIR");
  return 0;
}

// A run a script, each with its own folder below -o when there are several.
int makeRuns(const Options& opt, Runs* runs) {
  for (auto& script : opt.scripts) {
    auto run = std::make_unique<ScriptRun>();
    run->script = script;
    if (opt.scripts.size() == 1) run->out = opt.outDir;
    else if (!opt.outDir.empty()) run->out = opt.outDir / script.stem();
    for (auto& other : *runs)
      if (!run->out.empty() && other->out == run->out) return usageError("two scripts named " + script.stem().string());
    runs->push_back(std::move(run));
  }
  return 0;
}

// Scripts played at once share the machine, and a machine has one code
// page and locale: a script that sets them sets them for the others too,
// whose texts then read otherwise. They still play, as jobs of users of
// several languages would on one Windows, but the user is told.
void warnOfSharedCodePage(const Runs& runs) {
  for (auto& run : runs)
    if (run->machineSettings != runs.front()->machineSettings) {
      auto said = [](const std::string& s) { return s.empty() ? std::string("the machine's own") : s; };
      std::cerr << "kqxl-run: warning: " << runs.front()->script.string() << " (" << said(runs.front()->machineSettings)
                << ") and " << run->script.string() << " (" << said(run->machineSettings)
                << ") share one machine, which has one code page and locale: each may print the other's texts "
                   "otherwise; play them one at a time to see each as its user would\n";
      return;
    }
}

// The machine folder, made while the scripts are checked: a temporary one,
// or the user's, which is made only for scripts that pass. The exit code
// of what stopped it, or 0.
int prepareMachine(const Options& opt, const Runs& runs, fs::path* root) {
  std::error_code ec;
  if (!fs::is_directory(opt.image / "WINDOWS", ec)) {
    std::cerr << "kqxl-run: no default machine at " << opt.image.string() << " (build it, or pass --image)\n";
    return jobkit::kExitFailed;
  }
  *root = opt.machineDir;
  bool temporary = root->empty();
  std::string made;  // why the temporary machine could not be made
  std::thread making;
  if (temporary) {
    char pattern[] = "/tmp/kqxl-machine-XXXXXX";
    if (!mkdtemp(pattern)) {
      std::cerr << "kqxl-run: cannot make a temporary machine folder\n";
      return jobkit::kExitFailed;
    }
    *root = pattern;
    making = std::thread([&] {
      try {
        winsim::Machine::createFrom(opt.image, *root);
      } catch (const std::exception& e) {
        made = e.what();
      }
    });
  }
  bool checked = true;
  for (auto& run : runs) checked = checked && jobkit::checkScriptFile(run->script, std::cerr, &run->machineSettings);
  if (checked) warnOfSharedCodePage(runs);
  if (making.joinable()) making.join();
  if (!checked || !made.empty()) {
    if (!made.empty()) std::cerr << "kqxl-run: cannot make the machine: " << made << "\n";
    if (temporary) fs::remove_all(*root, ec);
    return checked ? jobkit::kExitFailed : jobkit::kExitScriptError;
  }
  if (!temporary && !fs::exists(*root, ec)) winsim::Machine::createFrom(opt.image, *root);
  return 0;
}

// What the machine tells goes to the report of the script whose thread
// did it; what no script's thread did (the component's unload at the end)
// goes to every script's. Each script's documents are numbered from 1, in
// the order its jobs started them.
void observe(winsim::Machine& machine, const Options& opt, const Runs& runs) {
  auto each = [&runs](auto report) {
    if (tRun) return report(*tRun);
    for (auto& run : runs) report(*run);
  };
  bool toStdout = opt.outDir.empty() && !isatty(STDOUT_FILENO);
  machine.setSinkFactory(
      [toStdout](int number, std::u16string_view, std::string* file) -> std::unique_ptr<winsim::DocumentSink> {
        if (tRun && !tRun->out.empty()) {
          *file = "doc-" + std::to_string(tRun->numbers[number]) + ".prn";
          auto verdict = std::make_shared<jobkit::PrinterVerdict>();
          std::lock_guard g(tRun->verdictsMu);
          tRun->verdicts[number] = verdict;
          return std::make_unique<JudgedSink>(winsim::fileSink(tRun->out / *file), std::move(verdict));
        }
        return std::make_unique<StdoutSink>(toStdout ? stdout : nullptr);
      });
  winsim::Observer observer;
  observer.trace = [each](std::u16string_view t) { each([&](ScriptRun& r) { r.report.trace(t); }); };
  observer.messageBox = [each](const winsim::MessageBoxRecord& box) {
    each([&](ScriptRun& r) { r.report.messageBox(box.text, box.caption, box.style, box.answer); });
  };
  observer.api = [each](const std::string& line) { each([&](ScriptRun& r) { r.report.event(line); }); };
  observer.documentStarted = [](int number) {
    if (tRun) tRun->numbers[number] = static_cast<int>(tRun->numbers.size()) + 1;
  };
  observer.documentDone = [each](const winsim::DocumentRecord& doc) {
    each([&](ScriptRun& r) {
      auto local = r.numbers.find(doc.number);
      r.report.document(local == r.numbers.end() ? doc.number : local->second, doc.name, doc.bytes, doc.file,
                        doc.cancelled, r.takeVerdict(doc.number));
    });
  };
  machine.setObserver(observer);
}

// Every script on the one machine, a thread each when there are several;
// then whatever the component left behind.
void playAll(const fs::path& root, const Options& opt, const Runs& runs) {
  winsim::Machine machine(root);
  observe(machine, opt, runs);
  machine.setKeepHistory(false);  // it streams to the event log; a long run keeps none
  machine.setLogApi(opt.logApi);
  if (opt.interactive) machine.setAnswerCallback(askOnTerminal);
  for (auto& function : opt.failing) machine.addFault(winsim::FaultPlan{function, 1, true, {}});
  if (runs.size() == 1) {
    runs[0]->play(machine);
  } else {
    std::vector<std::thread> threads;
    for (auto& run : runs) threads.emplace_back([&machine, r = run.get()] { r->play(machine); });
    for (auto& t : threads) t.join();
  }
  for (auto& leak : machine.leaks())
    for (auto& run : runs) run->report.leak(leak.kind, leak.what);
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  bool help = false;
  if (int code = readOptions(argc, argv, &opt, &help); code != 0 || help) return code;
  Runs runs;
  if (int code = makeRuns(opt, &runs)) return code;
  fs::path root;
  if (int code = prepareMachine(opt, runs, &root)) return code;
  for (auto& run : runs) {
    if (!run->out.empty()) run->events.openIn(run->out, run->report);
    if (runs.size() > 1) run->report.setScriptName(run->script.stem().string());
  }
  // --events FILE is one script's; standard error takes the first's.
  if (runs.size() == 1 || opt.eventsFile == "-") runs[0]->events.alsoTo(opt.eventsFile, runs[0]->report, std::cerr);

  playAll(root, opt, runs);
  int exitCode = 0;
  for (auto& run : runs) {
    run->report.finish();
    exitCode = std::max(exitCode, run->exitCode);
  }
  std::error_code ec;
  if (opt.machineDir.empty()) fs::remove_all(root, ec);
  return exitCode;
}
