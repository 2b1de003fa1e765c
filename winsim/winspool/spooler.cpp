// winspool.drv: printer and driver information, printer data, jobs and
// documents; and the spooler's own side of a job, which loads the printer
// driver's interface module and calls its DrvSpl* hooks.
#include <winspool.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "core/blocks.h"
#include "core/seams.h"
#include "winspool/state.h"
#include "winsim/spooler.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

HANDLE printerHandleValue(uintptr_t id) { return reinterpret_cast<HANDLE>(0x5000 + id * 4); }

PrinterHandle* findPrinterHandle(State& s, HANDLE h) {
  auto it = winspool(s).printerHandles.find(reinterpret_cast<uintptr_t>(h));
  return it == winspool(s).printerHandles.end() ? nullptr : &it->second;
}

const PrinterConfig* findPrinter(const State& s, std::u16string_view name) {
  for (auto& p : winspool(s).printers)
    if (equalsNoCase(p.name, name)) return &p;
  return nullptr;
}

// The printer a spooler handle was opened on.
const PrinterConfig* printerOf(State& s, HANDLE h) {
  PrinterHandle* ph = findPrinterHandle(s, h);
  return ph ? findPrinter(s, ph->printer) : nullptr;
}

// The printer of a Get* call for information level 2, the only level kept.
const PrinterConfig* printerAtLevel2(State& s, HANDLE h, DWORD level) {
  const PrinterConfig* p = printerOf(s, h);
  if (!p) setError(ERROR_INVALID_HANDLE);
  else if (level != 2) setError(ERROR_INVALID_LEVEL);
  return p && level == 2 ? p : nullptr;
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

int startDocument(State& s, PrinterHandle& ph, std::u16string_view name, std::u16string_view outputFile) {
  int number = ++winspool(s).documentCount;
  if (s.observer.documentStarted) s.observer.documentStarted(number);
  DocumentRecord record{number, std::u16string(name), 0, ""};
  std::unique_ptr<DocumentSink> sink;
  fs::path host;
  if (!outputFile.empty() && hostPathOf(outputFile, &host)) {
    sink = fileSink(host);
    record.file = toUtf8(outputFile);  // as the job named it
  } else if (winspool(s).sinkFactory) {
    sink = winspool(s).sinkFactory(number, name, &record.file);
  } else {
    fs::path dir = s.root / "winsim" / "output";
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::path file = dir / ("doc-" + std::to_string(number) + ".prn");
    sink = fileSink(file);
    record.file = file.string();
  }
  winspool(s).openDocuments[number] = OpenDocument{std::move(sink), record, false};
  ph.document = number;
  return number;
}

void endDocument(State& s, PrinterHandle& ph) {
  auto it = winspool(s).openDocuments.find(ph.document);
  ph.document = 0;
  if (it == winspool(s).openDocuments.end()) return;
  if (it->second.sink) it->second.sink->finish();
  DocumentRecord record = it->second.record;
  winspool(s).openDocuments.erase(it);
  if (s.keepHistory) winspool(s).documents.push_back(record);
  if (s.observer.documentDone) s.observer.documentDone(record);
}

// The job a handle's output belongs to now: the last started on it.
DWORD currentJobOf(const PrinterHandle& ph) { return ph.jobs.empty() ? 0 : ph.jobs.back(); }

// The job to cancel when an armed rule for this handle (or, for a message
// box, for this thread) fires at this event; 0 for none.
DWORD cancelDue(State& s, HANDLE printer, bool (CancelTrigger::*event)()) {
  auto& rules = winspool(s).cancelRules;
  DWORD job = 0;
  for (auto& rule : rules) {
    bool mine = event == &CancelTrigger::boxUp ? rule.thread == std::this_thread::get_id() : rule.printer == printer;
    if (mine && (rule.trigger.*event)())
      if (PrinterHandle* ph = findPrinterHandle(s, rule.printer)) job = currentJobOf(*ph);
  }
  std::erase_if(rules, [](const CancelRule& r) { return r.trigger.spent(); });
  return job;
}

// The queue's user cancels from a thread of their own. The job's thread
// waits for it, without the machine's lock, so that where the cancel falls
// is certain.
void cancelFromAnotherThread(DWORD job) {
  std::thread([job] { CancelJob(job); }).join();
}

}  // namespace

std::unique_ptr<DocumentSink> winsim::fileSink(const fs::path& path) { return std::make_unique<FileSink>(path); }

extern "C" {

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  ApiCall log("GetPrinterW");
  log.ptr("hPrinter", hPrinter).arg("Level", level).arg("cbBuf", size);
  auto g = lock();
  BOOL ok = FALSE;
  if (log.fails()) {
  } else if (const PrinterConfig* p = printerAtLevel2(state(), hPrinter, level)) {
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
  auto g = lock();
  BOOL ok = FALSE;
  if (log.fails()) {
  } else if (const PrinterConfig* p = printerAtLevel2(state(), hPrinter, level)) {
    ok = PackDriverInfo2(*p, environment ? std::u16string(environment) : u"", buffer, size, needed);
    if (ok) log.out("pDriverPath", p->driverPath);
  }
  log.result(ok);
  return ok;
}

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size, LPDWORD needed) {
  ApiCall log("GetPrinterDataW");
  log.ptr("hPrinter", hPrinter).arg("pValueName", name).arg("nSize", size);
  auto g = lock();
  auto& s = state();
  DWORD rc = ERROR_SUCCESS;
  const PrinterConfig* p = printerOf(s, hPrinter);
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
  auto g = lock();
  auto& s = state();
  BOOL ok = FALSE;
  auto job = winspool(s).jobs.find(jobId);
  if (log.fails()) {
  } else if (!findPrinterHandle(s, hPrinter)) {
    setError(ERROR_INVALID_HANDLE);
  } else if (level != 1) {
    setError(ERROR_INVALID_LEVEL);
  } else if (job == winspool(s).jobs.end()) {
    setError(ERROR_INVALID_PARAMETER);
  } else {
    const SpoolerJobEntry& entry = job->second;
    ok = PackJobInfo1(jobId, entry.printer, entry.document, entry.deleting ? kCancelledJobStatus : 0, buffer, size,
                      needed);
  }
  log.result(ok);
  return ok;
}

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD level, LPBYTE docInfo) {
  ApiCall log("StartDocPrinterW");
  log.ptr("hPrinter", hPrinter).arg("Level", level);
  auto g = lock();
  auto& s = state();
  DWORD job = 0;
  PrinterHandle* ph = findPrinterHandle(s, hPrinter);
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
    job = winspool(s).nextJobId++;
    winspool(s).jobs[job] = {ph->printer, std::u16string(view(info->pDocName))};
    ph->jobs.push_back(job);
    startDocument(s, *ph, view(info->pDocName), view(info->pOutputFile));
  }
  log.result(job);
  return job;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  ApiCall log("EndDocPrinter");
  log.ptr("hPrinter", hPrinter);
  auto g = lock();
  auto& s = state();
  BOOL ok = FALSE;
  DWORD cancel = 0;
  PrinterHandle* ph = findPrinterHandle(s, hPrinter);
  if (log.fails()) {
  } else if (!ph) {
    setError(ERROR_INVALID_HANDLE);
  } else if (!ph->document) {
    setError(ERROR_SPL_NO_STARTDOC);
  } else {
    endDocument(s, *ph);
    ok = TRUE;
    cancel = cancelDue(s, hPrinter, &CancelTrigger::documentEnded);
  }
  g.unlock();
  if (cancel) cancelFromAnotherThread(cancel);
  log.result(ok);
  return ok;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID data, DWORD size, LPDWORD written) {
  ApiCall log("WritePrinter");
  log.ptr("hPrinter", hPrinter).arg("cbBuf", size);
  if (written) *written = 0;
  auto g = lock();
  auto& s = state();
  BOOL ok = FALSE;
  DWORD cancel = 0;
  PrinterHandle* ph = findPrinterHandle(s, hPrinter);
  if (log.fails()) {
  } else if (!ph) {
    setError(ERROR_INVALID_HANDLE);
  } else if (!ph->document) {
    setError(ERROR_SPL_NO_STARTDOC);
  } else if (ph->cancelled) {
    setError(ERROR_PRINT_CANCELLED);
  } else {
    OpenDocument& doc = winspool(s).openDocuments[ph->document];
    if (size && !(doc.sink && doc.sink->write(data, size))) {
      setError(ERROR_DISK_FULL);
    } else {
      doc.record.bytes += size;
      if (written) *written = size;
      ok = TRUE;
      cancel = cancelDue(s, hPrinter, &CancelTrigger::wrote);
    }
  }
  g.unlock();
  if (cancel) cancelFromAnotherThread(cancel);
  log.result(ok);
  return ok;
}

}  // extern "C"

namespace winsim {

HANDLE OpenPrinterHandle(std::u16string_view printer) {
  auto g = lock();
  auto& s = state();
  if (!findPrinter(s, printer)) {
    setError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  HANDLE h = printerHandleValue(winspool(s).nextPrinter++);
  winspool(s).printerHandles[reinterpret_cast<uintptr_t>(h)] = PrinterHandle{std::u16string(printer)};
  return h;
}

void ClosePrinterHandle(HANDLE printer) {
  auto g = lock();
  auto& s = state();
  PrinterHandle* ph = findPrinterHandle(s, printer);
  if (!ph) return;
  if (ph->document) endDocument(s, *ph);
  for (DWORD job : ph->jobs) winspool(s).jobs.erase(job);  // a closed job is the spooler's no more
  std::erase_if(winspool(s).cancelRules, [&](const CancelRule& r) { return r.printer == printer; });
  winspool(s).printerHandles.erase(reinterpret_cast<uintptr_t>(printer));
}

bool IsCancelled(HANDLE printer) {
  auto g = lock();
  PrinterHandle* ph = findPrinterHandle(state(), printer);
  return ph && ph->cancelled;
}

namespace detail {

void cancelIfDueAtBox() {
  auto g = lock();
  DWORD cancel = cancelDue(state(), nullptr, &CancelTrigger::boxUp);
  g.unlock();
  if (cancel) cancelFromAnotherThread(cancel);
}

}  // namespace detail

bool CancelJob(DWORD jobId) {
  auto g = lock();
  auto& s = state();
  auto job = winspool(s).jobs.find(jobId);
  if (job == winspool(s).jobs.end()) return false;
  job->second.deleting = true;
  for (auto& [h, ph] : winspool(s).printerHandles) {
    if (currentJobOf(ph) != jobId) continue;
    ph.cancelled = true;
    if (auto doc = winspool(s).openDocuments.find(ph.document); doc != winspool(s).openDocuments.end())
      doc->second.record.cancelled = true;
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
  std::u16string configFile;
  {
    auto g = lock();
    auto& s = state();
    const PrinterConfig* p = findPrinter(s, printerName_);
    if (!p) {
      error_ = "no printer named \"" + toUtf8(printerName_) + "\"";
      return false;
    }
    configFile = p->configFile;
  }
  SpoolerHooks hooks{};
  if (!spoolerComponent(configFile, &hooks, &error_)) return false;
  printer_ = OpenPrinterHandle(printerName_);
  {
    auto g = lock();
    auto& s = state();
    if (jobId_ == 0) jobId_ = winspool(s).nextJobId;
    winspool(s).nextJobId = std::max(winspool(s).nextJobId, jobId_ + 1);
    winspool(s).jobs[jobId_] = {printerName_, document_};
    findPrinterHandle(s, printer_)->jobs.push_back(jobId_);
    startDocument(s, *findPrinterHandle(s, printer_), document_, outputFile_);
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
    DWORD job = 0;
    {
      auto g = lock();
      if (PrinterHandle* ph = findPrinterHandle(state(), printer_)) job = currentJobOf(*ph);
    }
    if (job) cancelFromAnotherThread(job);
    return;
  }
  auto g = lock();
  winspool(state()).cancelRules.push_back(CancelRule{printer_, std::this_thread::get_id(), CancelTrigger(plan)});
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
