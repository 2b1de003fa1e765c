// kqxl-run.exe: plays a job script through the real KQXLUMPD.DLL on a real
// Win32 (Windows, or Wine), as the print spooler does, and writes what
// reached the printer port. Only the spooler, message boxes and traces are
// the runner's own; everything else the component calls is the machine's.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>

#include "gdi.h"
#include "host.h"
#include "imports.h"
#include "jobkit/player.h"
#include "jobkit/report.h"
#include "jobkit/runner.h"
#include "jobkit/text.h"
#include "standins.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] = R"(usage: kqxl-run.exe [options] JOBSCRIPT

Plays JOBSCRIPT through the KQXLUMPD spooler hooks of the printer's driver
folder on this machine and writes what reached the printer port. The
printers, jobs and documents are the runner's own stand-in spooler; message
boxes are answered from the script; traces are caught.

options:
  -o DIR            write DIR\doc-1.prn, doc-2.prn, ... (one per spooler
                    document) and DIR\events.jsonl; without -o the bytes of
                    all documents go to standard output unless it is a console
  --events FILE     write the event log to FILE as well ("-" for stderr)
  --no-printer-dc   leave the printer's device context to Windows, which
                    cannot make one without the printer's driver (CreateDCW
                    fails); otherwise the runner makes one for its printers
                    on which Windows' GDI draws (the watermark)
  -h, --help        this text

The job script reference is docs/job-script.md; the events and exit status
are kqxl-run's. Directives that need the simulated machine (fail) or another
locale or code page than this machine's are refused as script errors.
Exit status: 0 when the script ran to its end, whatever the hooks returned;
2 for a script error (reported as FILE:LINE: message); 1 for anything else.
)";

std::string Utf8(const std::wstring& s) { return jobkit::utf8Of(std::u16string(s.begin(), s.end())); }

class ReportListener : public kqxlwin::Listener {
 public:
  explicit ReportListener(jobkit::RunReport& report) : report_(report) {}
  void trace(const std::u16string& text) override { report_.trace(text); }
  void messageBox(const std::u16string& text, const std::optional<std::u16string>& caption, UINT style,
                  int answer) override {
    report_.messageBox(text, caption, style, answer);
  }
  void documentDone(int number, const std::u16string& name, uint64_t bytes, const std::string& file,
                    bool cancelled) override {
    report_.document(number, name, bytes, file, cancelled);
  }

 private:
  jobkit::RunReport& report_;
};

// The machine's temp folder, where the component keeps its spool files.
fs::path TempFolder() {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  return fs::path(windows) / L"TEMP";
}

std::set<std::wstring> FilesIn(const fs::path& dir) {
  std::set<std::wstring> names;
  std::error_code ec;
  for (auto& entry : fs::directory_iterator(dir, ec)) names.insert(entry.path().filename().wstring());
  return names;
}

int UsageError(const std::string& message) { return jobkit::usageError("kqxl-run", message, kUsage); }

const std::vector<jobkit::RunnerOption> kOptions = {
    {"-o", "a folder"}, {"--events", "a file"}, {"--no-printer-dc", ""}};

// The script on this machine's component; what it left behind (handles,
// modules, spool files in the temp folder) reported after it.
int PlayHere(const fs::path& script, jobkit::RunReport& report) {
  std::set<std::wstring> tempBefore = FilesIn(TempFolder());
  kqxlwin::WinHost host;
  jobkit::Player player(host, script.parent_path());
  jobkit::reportTo(player, report);
  int exitCode = jobkit::playScriptFile(player, script, "kqxl-run", std::cerr);
  for (auto& [kind, what] : kqxlwin::Holdings()) report.leak(kind, what);
  for (auto& name : FilesIn(TempFolder()))
    if (!tempBefore.count(name)) report.leak("tempfile", "C:\\WINDOWS\\TEMP\\" + Utf8(name));
  host.unloadComponents();
  return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wstring(argv[1]) == L"--hold-scanner-port")
    return kqxlwin::HoldScannerPort(reinterpret_cast<HANDLE>(std::stoull(argv[2])),
                                    reinterpret_cast<HANDLE>(std::stoull(argv[3])));
  jobkit::Arguments args;
  std::string error;
  if (!jobkit::parseArguments(argc, argv, kOptions, &args, &error)) return UsageError(error);
  if (jobkit::answeredHelp(args, "kqxl-run.exe", kUsage)) return 0;
  if (args.operands.empty()) return UsageError("no job script");
  if (args.operands.size() > 1) return UsageError("one job script at a time");
  fs::path script = args.operands[0], outDir = args.value("-o");
  kqxlwin::SetPrinterDC(!args.has("--no-printer-dc"));
  if (!jobkit::checkScriptFile(script, std::cerr)) return jobkit::kExitScriptError;

  jobkit::RunReport report{std::cerr};
  jobkit::EventLogs events;
  if (!outDir.empty()) events.openIn(outDir, report);
  report.setDocumentFolder(outDir);
  events.alsoTo(args.value("--events"), report, std::cerr);

  ReportListener listener(report);
  kqxlwin::SetListener(&listener);
  kqxlwin::SetDocumentFolder(outDir);
  kqxlwin::TraceCatcher catcher(kqxlwin::Trace);
  int exitCode = PlayHere(script, report);
  kqxlwin::SetListener(nullptr);
  report.finish();
  return exitCode;
}
