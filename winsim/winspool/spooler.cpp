// winspool.drv: printer and driver information, printer data, jobs and
// documents; and the spooler's own side of a job, which loads the printer
// driver's interface module and calls its DrvSpl* hooks.
#include <winspool.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <shared_mutex>

#include "core/blocks.h"
#include "core/seams.h"
#include "winspool/state.h"
#include "winsim/spooler.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

// The printer handle a handle names, locked for the call; empty for another.
Locked<PrinterHandle> lockPrinterHandle(HANDLE h) { return winspool(state()).printerHandles.lock(h); }

// A copy of the printer's configuration, taken under the printers' lock.
std::optional<PrinterConfig> findPrinter(std::u16string_view name) {
  auto& w = winspool(state());
  std::shared_lock g(w.printersMu);
  for (auto& p : w.printers)
    if (equalsNoCase(p.name, name)) return p;
  return std::nullopt;
}

// The printer a spooler handle was opened on, at information level 2, the
// only level kept; none with the last error set.
std::optional<PrinterConfig> printerAtLevel2(HANDLE h, DWORD level) {
  std::u16string name;
  if (auto ph = lockPrinterHandle(h)) name = ph->printer;
  std::optional<PrinterConfig> p = name.empty() ? std::nullopt : findPrinter(name);
  if (!p) setError(ERROR_INVALID_HANDLE);
  else if (level != 2) setError(ERROR_INVALID_LEVEL);
  return p && level == 2 ? p : std::nullopt;
}

// A port that is a host file, written in whole blocks (core/blocks.h).
// An existing file is removed, not truncated: a file system that flushes a
// truncated file's new data at its close would make every rewrite pay.
class FileSink : public DocumentSink {
 public:
  explicit FileSink(const fs::path& path) : fd_(openFresh(path)) {}
  ~FileSink() override { finish(); }
  bool write(const void* data, size_t size) override {
    ok_ = ok_ && fd_ >= 0 &&
          gatherBlocks(pending_, static_cast<const char*>(data), size,
                       [this](const char* p, size_t n) { return writeOut(p, n); });
    return ok_;
  }
  void finish() override {
    if (fd_ < 0) return;
    if (ok_ && !pending_.empty()) writeOut(pending_.data(), pending_.size());
    pending_.clear();
    ::close(fd_);
    fd_ = -1;
  }

 private:
  static int openFresh(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  }
  bool writeOut(const char* p, size_t n) {
    bool written = writeAllAt(fd_, p, n, end_);
    end_ += static_cast<int64_t>(n);
    return written;
  }

  int fd_;
  std::string pending_;
  int64_t end_ = 0;  // where the next block goes
  bool ok_ = true;
};

// A new job on a printer handle, which the caller holds locked.
void addJob(PrinterHandle& ph, HANDLE h, DWORD job, std::u16string_view document) {
  auto& w = winspool(state());
  {
    QuietLock g(w.jobsMu);
    w.jobs[job] = {ph.printer, std::u16string(document), h};
    w.nextJobId = std::max(w.nextJobId, job + 1);
  }
  ph.jobs.push_back(job);
}

DWORD nextJobId() {
  auto& w = winspool(state());
  QuietLock g(w.jobsMu);
  return w.nextJobId++;
}

// Its document starts on a printer handle the caller holds locked.
void startDocument(State& s, PrinterHandle& ph, std::u16string_view name, std::u16string_view outputFile) {
  auto& w = winspool(s);
  int number = ++w.documentCount;
  if (s.observer.documentStarted) s.observer.documentStarted(number);
  DocumentRecord record{number, std::u16string(name), 0, ""};
  std::unique_ptr<DocumentSink> sink;
  fs::path host;
  if (!outputFile.empty() && hostPathOf(outputFile, &host)) {
    sink = fileSink(host);
    record.file = toUtf8(outputFile);  // as the job named it
  } else if (w.sinkFactory) {
    sink = w.sinkFactory(number, name, &record.file);
  } else {
    fs::path dir = s.root / "winsim" / "output";
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::path file = dir / ("doc-" + std::to_string(number) + ".prn");
    sink = fileSink(file);
    record.file = file.string();
  }
  ph.document = OpenDocument{number, std::move(sink), record};
}

void endDocument(State& s, PrinterHandle& ph) {
  if (!ph.document) return;
  if (ph.document->sink) ph.document->sink->finish();
  DocumentRecord record = std::move(ph.document->record);
  ph.document.reset();
  if (s.keepHistory) {
    QuietLock g(winspool(s).documentsMu);
    winspool(s).documents.push_back(record);
  }
  if (s.observer.documentDone) s.observer.documentDone(record);
}

// The job a handle's output belongs to now: the last started on it.
DWORD currentJobOf(const PrinterHandle& ph) { return ph.jobs.empty() ? 0 : ph.jobs.back(); }

// The printer handle of an armed rule for this handle (or, for a message
// box, for this thread) that fires at this event; null for none.
HANDLE cancelDue(State& s, HANDLE printer, bool (CancelTrigger::*event)()) {
  auto& w = winspool(s);
  QuietLock g(w.cancelMu);
  HANDLE fired = nullptr;
  for (auto& rule : w.cancelRules) {
    bool mine = event == &CancelTrigger::boxUp ? rule.thread == std::this_thread::get_id() : rule.printer == printer;
    if (mine && (rule.trigger.*event)()) fired = rule.printer;
  }
  std::erase_if(w.cancelRules, [](const CancelRule& r) { return r.trigger.spent(); });
  return fired;
}

DWORD currentJobOf(HANDLE printer) {
  auto ph = lockPrinterHandle(printer);
  return ph ? currentJobOf(*ph) : 0;
}

// The queue's user cancels from a thread of their own. The job's thread
// waits for it, holding no lock, so that where the cancel falls is certain.
void cancelFromAnotherThread(DWORD job) {
  std::thread([job] { CancelJob(job); }).join();
}

}  // namespace

std::unique_ptr<DocumentSink> winsim::fileSink(const fs::path& path) { return std::make_unique<FileSink>(path); }

extern "C" {

// What the spooler's own calls do, for whoever else opens a printer.
BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW) {
  ApiCall log("OpenPrinterW");
  log.arg("pPrinterName", name);
  BOOL ok = FALSE;
  if (printer) *printer = nullptr;
  if (log.fails()) {
  } else if (!name || !printer) {
    setError(name ? ERROR_INVALID_PARAMETER : ERROR_INVALID_PRINTER_NAME);
  } else if (HANDLE h = winsim::OpenPrinterHandle(name)) {
    *printer = h;
    ok = TRUE;
  }
  log.result(ok);
  return ok;
}

BOOL WINAPI ClosePrinter(HANDLE printer) {
  ApiCall log("ClosePrinter");
  log.ptr("hPrinter", printer);
  BOOL ok = winsim::ClosePrinterHandle(printer) ? TRUE : FALSE;
  if (!ok) setError(ERROR_INVALID_HANDLE);
  log.result(ok);
  return ok;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  ApiCall log("GetPrinterW");
  log.ptr("hPrinter", hPrinter).arg("Level", level).arg("cbBuf", size);
  BOOL ok = FALSE;
  if (log.fails()) {
  } else if (auto p = printerAtLevel2(hPrinter, level)) {
    ok = PackPrinterInfo2(*p, buffer, size, needed);
  }
  if (needed) log.arg("needed", *needed);
  log.result(ok);
  return ok;
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                              LPDWORD needed) {
  ApiCall log("GetPrinterDriverW");
  log.ptr("hPrinter", hPrinter).arg("pEnvironment", environment).arg("Level", level).arg("cbBuf", size);
  BOOL ok = FALSE;
  if (log.fails()) {
  } else if (auto p = printerAtLevel2(hPrinter, level)) {
    ok = PackDriverInfo2(*p, environment ? std::u16string(environment) : u"", buffer, size, needed);
    if (ok) log.out("pDriverPath", p->driverPath);
  }
  log.result(ok);
  return ok;
}

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size, LPDWORD needed) {
  ApiCall log("GetPrinterDataW");
  log.ptr("hPrinter", hPrinter).arg("pValueName", name).arg("nSize", size);
  DWORD rc = ERROR_SUCCESS;
  std::u16string printer;
  if (auto ph = lockPrinterHandle(hPrinter)) printer = ph->printer;
  std::optional<PrinterConfig> p = printer.empty() ? std::nullopt : findPrinter(printer);
  if (log.fails()) {
    rc = GetLastError();
  } else if (!p) {
    rc = ERROR_INVALID_HANDLE;
  } else {
    auto it = p->data.find(std::u16string(view(name)));
    if (it == p->data.end()) {
      rc = ERROR_FILE_NOT_FOUND;
    } else {
      if (needed) *needed = static_cast<DWORD>(it->second.size());
      if (type) *type = REG_BINARY;
      if (!data || size < it->second.size()) {
        rc = ERROR_MORE_DATA;
      } else {
        std::memcpy(data, it->second.data(), it->second.size());
      }
    }
  }
  log.result(rc);
  return rc;
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  ApiCall log("GetJobW");
  log.ptr("hPrinter", hPrinter).arg("JobId", jobId).arg("Level", level).arg("cbBuf", size);
  auto& w = winspool(state());
  BOOL ok = FALSE;
  std::optional<SpoolerJobEntry> entry;
  {
    QuietLock g(w.jobsMu);
    if (auto job = w.jobs.find(jobId); job != w.jobs.end()) entry = job->second;
  }
  if (log.fails()) {
  } else if (!w.printerHandles.find(hPrinter)) {
    setError(ERROR_INVALID_HANDLE);
  } else if (level != 1) {
    setError(ERROR_INVALID_LEVEL);
  } else if (!entry) {
    setError(ERROR_INVALID_PARAMETER);
  } else {
    ok = PackJobInfo1(jobId, entry->printer, entry->document, entry->deleting ? kCancelledJobStatus : 0, buffer, size,
                      needed);
  }
  log.result(ok);
  return ok;
}

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD level, LPBYTE docInfo) {
  ApiCall log("StartDocPrinterW");
  log.ptr("hPrinter", hPrinter).arg("Level", level);
  DWORD job = 0;
  Locked<PrinterHandle> ph = lockPrinterHandle(hPrinter);
  auto* info = reinterpret_cast<DOC_INFO_1W*>(docInfo);
  if (log.fails()) {
  } else if (!ph) {
    setError(ERROR_INVALID_HANDLE);
  } else if (level != 1 || !info) {
    setError(ERROR_INVALID_LEVEL);
  } else if (ph->document) {
    setError(ERROR_INVALID_PRINTER_STATE);
  } else if (ph->cancelled) {
    setError(ERROR_PRINT_CANCELLED);  // no new document for a job the user cancelled
  } else {
    log.arg("pDocName", info->pDocName).arg("pOutputFile", info->pOutputFile);
    job = nextJobId();
    addJob(*ph, hPrinter, job, view(info->pDocName));
    startDocument(state(), *ph, view(info->pDocName), view(info->pOutputFile));
  }
  log.result(job);
  return job;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  ApiCall log("EndDocPrinter");
  log.ptr("hPrinter", hPrinter);
  auto& s = state();
  BOOL ok = FALSE;
  DWORD cancel = 0;
  Locked<PrinterHandle> ph = lockPrinterHandle(hPrinter);
  if (log.fails()) {
  } else if (!ph) {
    setError(ERROR_INVALID_HANDLE);
  } else if (!ph->document) {
    setError(ERROR_SPL_NO_STARTDOC);
  } else {
    endDocument(s, *ph);
    ok = TRUE;
    if (cancelDue(s, hPrinter, &CancelTrigger::documentEnded)) cancel = currentJobOf(*ph);
  }
  if (ph) ph.unlock();
  if (cancel) cancelFromAnotherThread(cancel);
  log.result(ok);
  return ok;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID data, DWORD size, LPDWORD written) {
  ApiCall log("WritePrinter");
  log.ptr("hPrinter", hPrinter).arg("cbBuf", size);
  if (written) *written = 0;
  auto& s = state();
  BOOL ok = FALSE;
  DWORD cancel = 0;
  Locked<PrinterHandle> ph = lockPrinterHandle(hPrinter);
  if (log.fails()) {
  } else if (!ph) {
    setError(ERROR_INVALID_HANDLE);
  } else if (!ph->document) {
    setError(ERROR_SPL_NO_STARTDOC);
  } else if (ph->cancelled) {
    setError(ERROR_PRINT_CANCELLED);
  } else {
    OpenDocument& doc = *ph->document;
    if (size && !(doc.sink && doc.sink->write(data, size))) {
      setError(ERROR_DISK_FULL);
    } else {
      doc.record.bytes += size;
      if (written) *written = size;
      ok = TRUE;
      if (cancelDue(s, hPrinter, &CancelTrigger::wrote)) cancel = currentJobOf(*ph);
    }
  }
  if (ph) ph.unlock();
  if (cancel) cancelFromAnotherThread(cancel);
  log.result(ok);
  return ok;
}

}  // extern "C"

namespace winsim {

HANDLE OpenPrinterHandle(std::u16string_view printer) {
  if (!findPrinter(printer)) {
    setError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  auto ph = std::make_shared<PrinterHandle>();
  ph->printer = std::u16string(printer);
  return winspool(state()).printerHandles.add(std::move(ph));
}

bool ClosePrinterHandle(HANDLE printer) {
  auto& s = state();
  auto& w = winspool(s);
  std::shared_ptr<PrinterHandle> ph = w.printerHandles.take(printer);
  if (!ph) return false;
  std::lock_guard g(ph->mu);
  endDocument(s, *ph);
  {
    QuietLock jobs(w.jobsMu);
    for (DWORD job : ph->jobs) w.jobs.erase(job);  // a closed job is the spooler's no more
  }
  QuietLock rules(w.cancelMu);
  std::erase_if(w.cancelRules, [&](const CancelRule& r) { return r.printer == printer; });
  return true;
}

bool IsCancelled(HANDLE printer) {
  Locked<PrinterHandle> ph = lockPrinterHandle(printer);
  return ph && ph->cancelled;
}

namespace detail {

void cancelIfDueAtBox() {
  if (HANDLE printer = cancelDue(state(), nullptr, &CancelTrigger::boxUp))
    if (DWORD job = currentJobOf(printer)) cancelFromAnotherThread(job);
}

}  // namespace detail

bool CancelJob(DWORD jobId) {
  auto& w = winspool(state());
  HANDLE handle;
  {
    QuietLock g(w.jobsMu);
    auto job = w.jobs.find(jobId);
    if (job == w.jobs.end()) return false;
    job->second.deleting = true;
    handle = job->second.handle;
  }
  Locked<PrinterHandle> ph = lockPrinterHandle(handle);
  if (ph && currentJobOf(*ph) == jobId) {
    ph->cancelled = true;
    if (ph->document) ph->document->record.cancelled = true;
  }
  return true;
}

namespace {

// The spooler keeps a driver's interface module loaded for as long as the
// machine runs, so that its process-wide state lasts from job to job.
bool spoolerComponent(const std::u16string& configFile, SpoolerHooks* hooks, std::string* error);

}  // namespace

PrintJob::PrintJob(std::u16string_view printer, DWORD jobId, std::u16string_view document,
                   std::u16string_view outputFile)
    : printerName_(printer), document_(document), outputFile_(outputFile), jobId_(jobId) {}

PrintJob::~PrintJob() {
  if (calls_.started()) close();
  if (printer_) ClosePrinterHandle(printer_);
}

bool PrintJob::startDoc() {
  std::optional<PrinterConfig> p = findPrinter(printerName_);
  if (!p) {
    error_ = "no printer named \"" + toUtf8(printerName_) + "\"";
    return false;
  }
  SpoolerHooks hooks{};
  if (!spoolerComponent(p->configFile, &hooks, &error_)) return false;
  printer_ = OpenPrinterHandle(printerName_);
  {
    Locked<PrinterHandle> ph = lockPrinterHandle(printer_);
    if (jobId_ == 0) jobId_ = nextJobId();
    addJob(*ph, printer_, jobId_, document_);
    startDocument(state(), *ph, document_, outputFile_);
  }
  if (calls_.startDoc(hooks, printer_, jobId_)) return true;
  ClosePrinterHandle(printer_);
  printer_ = nullptr;
  return false;
}

BOOL PrintJob::write(const void* data, DWORD size, DWORD* written) {
  if (written) *written = 0;
  return calls_.goesOn(IsCancelled(printer_)) ? calls_.write(data, size, written) : FALSE;
}
BOOL PrintJob::startPage() { return calls_.goesOn(IsCancelled(printer_)) ? calls_.startPage() : FALSE; }
BOOL PrintJob::endPage() { return calls_.goesOn(IsCancelled(printer_)) ? calls_.endPage() : FALSE; }
void PrintJob::endDoc() {
  calls_.goesOn(IsCancelled(printer_));
  calls_.endDoc();
}
void PrintJob::abort() { calls_.abort(); }

void PrintJob::cancel(CancelPlan plan) {
  if (!printer_) return;
  if (plan.point == CancelPoint::Now) {
    if (DWORD job = currentJobOf(printer_)) cancelFromAnotherThread(job);
    return;
  }
  auto& w = winspool(state());
  QuietLock g(w.cancelMu);
  w.cancelRules.push_back(CancelRule{printer_, std::this_thread::get_id(), CancelTrigger(plan)});
}

void PrintJob::close() {
  calls_.goesOn(IsCancelled(printer_));
  calls_.close();
  ClosePrinterHandle(printer_);
  printer_ = nullptr;
}

namespace {

bool spoolerComponent(const std::u16string& configFile, SpoolerHooks* hooks, std::string* error) {
  HMODULE module = spoolerModule(fullWinPath(configFile));
  if (!module) module = loadModule(configFile, true);
  if (!module) {
    *error = "the printer's driver module " + toUtf8(configFile) + " could not be loaded (error " +
             std::to_string(GetLastError()) + ")";
    return false;
  }
  if (!FindSpoolerHooks([&](const char* name) { return moduleSymbol(module, name); }, hooks)) {
    *error = toUtf8(configFile) + " lacks the spooler hooks";
    return false;
  }
  return true;
}

}  // namespace

}  // namespace winsim
