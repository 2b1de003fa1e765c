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
#include <sstream>
#include <thread>

#include "jobkit/player.h"
#include "jobkit/report.h"
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
  -h, --help        this text

The job script reference is docs/job-script.md. Events (JSON Lines):
  {"event":"hook","hook":"DrvSplWritePrinter","result":1,"written":1625}
  {"event":"trace","text":"..."}
  {"event":"messagebox","text":"...","caption":null,"style":16,"answer":"OK"}
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

// A file stream with a buffer of its own: an event log of thousands of
// lines written in a few large system calls. The buffer is not cleared
// (fresh pages are dear) and the file is closed, its last bytes written,
// before the buffer goes.
template <class Stream, size_t kSize>
class BufferedFile : public Stream {
 public:
  BufferedFile() : buffer_(std::make_unique_for_overwrite<char[]>(kSize)) {
    this->rdbuf()->pubsetbuf(buffer_.get(), kSize);
  }
  BufferedFile(const fs::path& path, std::ios::openmode mode) : BufferedFile() { this->open(path, mode); }
  ~BufferedFile() { this->close(); }

 private:
  std::unique_ptr<char[]> buffer_;
};
using ScriptFile = std::ifstream;  // read in chunks by the script reader
using EventFile = BufferedFile<std::ofstream, 64 * 1024>;

struct Options {
  std::vector<fs::path> scripts;
  fs::path outDir;
  fs::path machineDir;
  fs::path image = KQXL_MACHINE_IMAGE;
  std::string eventsFile;
  bool logApi = false;
  bool interactive = false;
};

// One script's run: its directives, its report and where its documents go.
struct ScriptRun {
  fs::path script, out;
  jobkit::RunReport report{std::cerr};
  EventFile events;
  std::map<int, int> numbers;  // the machine's document numbers -> this script's
  int exitCode = 0;

  // The whole script is checked before anything plays, and then played as
  // it is read again.
  bool parse() {
    ScriptFile in(script, std::ios::binary);
    if (!in) {
      std::cerr << script.string() << ": cannot read the job script\n";
      return false;
    }
    jobkit::ScriptError error;
    if (jobkit::checkScript(in, &error)) return true;
    std::cerr << script.string() << ":" << error.line << ": " << error.message << "\n";
    return false;
  }

  void play(winsim::Machine& machine);
};

// The script whose thread is running, for the machine's callbacks.
thread_local ScriptRun* tRun = nullptr;

void ScriptRun::play(winsim::Machine& machine) {
  tRun = this;
  jobkit::SimHost host(machine);
  jobkit::Player player(host, script.parent_path());
  player.onHook([this](const jobkit::HookResult& h) { report.hook(h); });
  jobkit::ScriptError error;
  ScriptFile in(script, std::ios::binary);
  if (!in) {
    std::cerr << script.string() << ": cannot read the job script\n";
    exitCode = 2;
  } else if (!player.run(jobkit::ScriptReader(in), &error)) {
    std::cerr << script.string() << ":" << error.line << ": " << error.message << "\n";
    exitCode = 2;
  } else if (!player.fatal().empty()) {
    std::cerr << "kqxl-run: " << player.fatal() << "\n";
    exitCode = 1;
  }
  tRun = nullptr;
}

int usageError(const std::string& message) {
  std::cerr << "kqxl-run: " << message << "\n" << kUsage;
  return 2;
}

int askOnTerminal(const winsim::MessageBoxRecord& box) {
  std::FILE* tty = std::fopen("/dev/tty", "r+");
  if (!tty) return IDOK;
  std::fprintf(tty, "\n[%s] %s\n", box.caption ? winsim::toUtf8(*box.caption).c_str() : "",
               winsim::toUtf8(box.text).c_str());
  UINT type = box.style & MB_TYPEMASK;
  const char* choices = type == MB_OKCANCEL ? "OK/CANCEL" : type == MB_YESNO ? "YES/NO"
                        : type == MB_YESNOCANCEL ? "YES/NO/CANCEL" : type == MB_RETRYCANCEL ? "RETRY/CANCEL" : "OK";
  std::fprintf(tty, "answer (%s): ", choices);
  std::fflush(tty);
  char line[64] = {};
  int answer = IDOK;
  if (std::fgets(line, sizeof line, tty)) {
    std::string a(line);
    for (auto& c : a) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    a.erase(a.find_last_not_of(" \r\n") + 1);
    const std::pair<const char*, int> names[] = {{"OK", IDOK},       {"CANCEL", IDCANCEL}, {"YES", IDYES},
                                                 {"NO", IDNO},       {"RETRY", IDRETRY},   {"ABORT", IDABORT},
                                                 {"IGNORE", IDIGNORE}};
    for (auto& [name, id] : names)
      if (a == name) answer = id;
  }
  std::fclose(tty);
  return answer;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (a == "-o") {
      const char* v = value("-o");
      if (!v) return usageError("-o needs a folder");
      opt.outDir = v;
    } else if (a == "--machine") {
      const char* v = value("--machine");
      if (!v) return usageError("--machine needs a folder");
      opt.machineDir = v;
    } else if (a == "--image") {
      const char* v = value("--image");
      if (!v) return usageError("--image needs a folder");
      opt.image = v;
    } else if (a == "--events") {
      const char* v = value("--events");
      if (!v) return usageError("--events needs a file");
      opt.eventsFile = v;
    } else if (a == "--log-api") {
      opt.logApi = true;
    } else if (a == "--interactive") {
      opt.interactive = true;
    } else if (!a.empty() && a[0] == '-') {
      return usageError("unknown option " + a);
    } else {
      opt.scripts.push_back(a);
    }
  }
  if (opt.scripts.empty()) return usageError("no job script");
  if (opt.scripts.size() > 1 && opt.outDir.empty()) return usageError("several scripts need -o DIR");

  std::vector<std::unique_ptr<ScriptRun>> runs;
  for (auto& script : opt.scripts) {
    auto run = std::make_unique<ScriptRun>();
    run->script = script;
    if (opt.scripts.size() == 1) run->out = opt.outDir;
    else if (!opt.outDir.empty()) run->out = opt.outDir / script.stem();
    for (auto& other : runs)
      if (!run->out.empty() && other->out == run->out)
        return usageError("two scripts named " + script.stem().string());
    runs.push_back(std::move(run));
  }

  std::error_code ec;
  if (!fs::is_directory(opt.image / "WINDOWS", ec)) {
    std::cerr << "kqxl-run: no default machine at " << opt.image.string() << " (build it, or pass --image)\n";
    return 1;
  }
  // A temporary machine is made while the scripts are checked; a machine
  // folder of the user's is made only for scripts that pass.
  fs::path root = opt.machineDir;
  bool temporary = root.empty();
  std::string made;  // why the temporary machine could not be made
  std::thread making;
  if (temporary) {
    char pattern[] = "/tmp/kqxl-machine-XXXXXX";
    if (!mkdtemp(pattern)) {
      std::cerr << "kqxl-run: cannot make a temporary machine folder\n";
      return 1;
    }
    root = pattern;
    making = std::thread([&] {
      try {
        winsim::Machine::createFrom(opt.image, root);
      } catch (const std::exception& e) {
        made = e.what();
      }
    });
  }
  bool checked = true;
  for (auto& run : runs) checked = checked && run->parse();
  if (making.joinable()) making.join();
  if (!checked || !made.empty()) {
    if (!made.empty()) std::cerr << "kqxl-run: cannot make the machine: " << made << "\n";
    if (temporary) fs::remove_all(root, ec);
    return checked ? 1 : 2;
  }
  if (!temporary && !fs::exists(root, ec)) winsim::Machine::createFrom(opt.image, root);

  for (auto& run : runs) {
    if (!run->out.empty()) {
      fs::create_directories(run->out, ec);
      fs::remove(run->out / "events.jsonl", ec);  // replaced, not truncated
      run->events.open(run->out / "events.jsonl", std::ios::trunc);
      run->report.addEventStream(&run->events);
    }
  }
  std::ofstream eventsExtra;
  if (opt.eventsFile == "-") {
    runs[0]->report.addEventStream(&std::cerr);
  } else if (!opt.eventsFile.empty() && runs.size() == 1) {
    eventsExtra.open(opt.eventsFile, std::ios::trunc);
    runs[0]->report.addEventStream(&eventsExtra);
  }

  {
    winsim::Machine machine(root);
    bool toStdout = opt.outDir.empty() && !isatty(STDOUT_FILENO);
    // Each script's documents are numbered from 1, in the order its jobs
    // started them; what no script's thread did (the component's unload at
    // the end) goes to every script's log.
    auto each = [&](auto report) {
      if (tRun) return report(*tRun);
      for (auto& run : runs) report(*run);
    };
    machine.setSinkFactory([&](int number, std::u16string_view, std::string* file) -> std::unique_ptr<winsim::DocumentSink> {
      if (tRun && !tRun->out.empty()) {
        *file = "doc-" + std::to_string(tRun->numbers[number]) + ".prn";
        return winsim::fileSink(tRun->out / *file);
      }
      return std::make_unique<StdoutSink>(toStdout ? stdout : nullptr);
    });
    winsim::Observer observer;
    observer.trace = [&](std::u16string_view t) { each([&](ScriptRun& r) { r.report.trace(t); }); };
    observer.messageBox = [&](const winsim::MessageBoxRecord& box) {
      each([&](ScriptRun& r) { r.report.messageBox(box.text, box.caption, box.style, box.answer); });
    };
    observer.api = [&](const std::string& line) { each([&](ScriptRun& r) { r.report.event(line); }); };
    observer.documentStarted = [&](int number) {
      if (tRun) tRun->numbers[number] = static_cast<int>(tRun->numbers.size()) + 1;
    };
    observer.documentDone = [&](const winsim::DocumentRecord& doc) {
      each([&](ScriptRun& r) {
        auto local = r.numbers.find(doc.number);
        r.report.document(local == r.numbers.end() ? doc.number : local->second, doc.name, doc.bytes, doc.file);
      });
    };
    machine.setObserver(observer);
    machine.setKeepHistory(false);  // it streams to the event log; a long run keeps none
    machine.setLogApi(opt.logApi);
    if (opt.interactive) machine.setAnswerCallback(askOnTerminal);

    if (runs.size() == 1) {
      runs[0]->play(machine);
    } else {
      std::vector<std::thread> threads;
      for (auto& run : runs) threads.emplace_back([&machine, r = run.get()] { r->play(machine); });
      for (auto& t : threads) t.join();
    }
    for (auto& leak : machine.leaks()) each([&](ScriptRun& r) { r.report.leak(leak.kind, leak.what); });
  }
  int exitCode = 0;
  for (auto& run : runs) {
    run->report.finish();
    exitCode = std::max(exitCode, run->exitCode);
  }
  if (temporary) fs::remove_all(root, ec);
  return exitCode;
}
