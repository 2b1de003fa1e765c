// winspool.drv: printer and driver information, printer data, jobs and
// documents; and the spooler's own side of a job, which loads the printer
// driver's interface module and calls its DrvSpl* hooks.
#include <winspool.h>

#include <cstdio>
#include <cstring>

#include "core/modules.h"
#include "core/state.h"
#include "winsim/spooler.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

HANDLE printerHandleValue(uintptr_t id) { return reinterpret_cast<HANDLE>(0x5000 + id * 4); }

PrinterHandle* findPrinterHandle(State& s, HANDLE h) {
  auto it = s.printerHandles.find(reinterpret_cast<uintptr_t>(h));
  return it == s.printerHandles.end() ? nullptr : &it->second;
}

const PrinterConfig* findPrinter(const State& s, std::u16string_view name) {
  for (auto& p : s.printers)
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

// Lays out a structure followed by its strings, as the spooler returns
// information records: the strings lie in the caller's buffer after the
// structure and the structure's pointers point at them.
class Packer {
 public:
  explicit Packer(size_t fixed) : size_(fixed) {}
  void add(std::u16string_view s) {
    strings_.emplace_back(s);
    size_ += (s.size() + 1) * sizeof(WCHAR);
  }
  DWORD size() const { return static_cast<DWORD>(size_); }
  // Writes the strings after `fixed` bytes of `buffer`; returns their addresses.
  std::vector<LPWSTR> place(LPBYTE buffer, size_t fixed) const {
    std::vector<LPWSTR> r;
    auto* p = reinterpret_cast<WCHAR*>(buffer + fixed);
    for (auto& s : strings_) {
      std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
      r.push_back(p);
      p += s.size() + 1;
    }
    return r;
  }

 private:
  size_t size_;
  std::vector<std::u16string> strings_;
};

// The size query of a Get* call: Windows fails it with
// ERROR_INSUFFICIENT_BUFFER and reports the size needed.
bool fits(const Packer& pack, LPBYTE buffer, DWORD size, LPDWORD needed) {
  if (needed) *needed = pack.size();
  if (!buffer || size < pack.size()) {
    setError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  return true;
}

std::u16string driverDirectory(const PrinterConfig& p) {
  return p.driverPath.substr(0, p.driverPath.find_last_of(u'\\') + 1);
}

class FileSink : public DocumentSink {
 public:
  // Writes are gathered into 64 KiB, so that a document costs one system
  // call per 64 KiB whatever the sizes its writer uses. (The buffer is ours:
  // given none, stdio keeps its own block size.)
  explicit FileSink(const fs::path& path) : file_(std::fopen(path.c_str(), "wb")), buffer_(64 * 1024) {
    if (file_) std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
  }
  ~FileSink() override {
    if (file_) std::fclose(file_);
  }
  bool write(const void* data, size_t size) override {
    return file_ && std::fwrite(data, 1, size, file_) == size;
  }
  void finish() override {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }

 private:
  FILE* file_;
  std::vector<char> buffer_;
};

int startDocument(State& s, PrinterHandle& ph, std::u16string_view name, std::u16string_view outputFile) {
  int number = static_cast<int>(s.documents.size()) + 1;
  DocumentRecord record{number, std::u16string(name), 0, ""};
  std::unique_ptr<DocumentSink> sink;
  fs::path host;
  if (!outputFile.empty() && hostPathOf(outputFile, &host)) {
    sink = fileSink(host);
    record.file = host.string();
  } else if (s.sinkFactory) {
    sink = s.sinkFactory(number, name, &record.file);
  } else {
    fs::path dir = s.root / "winsim" / "output";
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::path file = dir / ("doc-" + std::to_string(number) + ".prn");
    sink = fileSink(file);
    record.file = file.string();
  }
  s.documents.push_back(record);
  s.openDocuments[number] = OpenDocument{std::move(sink), s.documents.size() - 1, false};
  ph.document = number;
  return number;
}

void endDocument(State& s, PrinterHandle& ph) {
  auto it = s.openDocuments.find(ph.document);
  ph.document = 0;
  if (it == s.openDocuments.end()) return;
  if (it->second.sink) it->second.sink->finish();
  DocumentRecord record = s.documents[it->second.record];
  s.openDocuments.erase(it);
  if (s.observer.documentDone) s.observer.documentDone(record);
}

}  // namespace

std::unique_ptr<DocumentSink> winsim::fileSink(const fs::path& path) { return std::make_unique<FileSink>(path); }

extern "C" {

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  ApiCall log("GetPrinterW");
  log.ptr("hPrinter", hPrinter).arg("Level", level).arg("cbBuf", size);
  auto g = lock();
  BOOL ok = FALSE;
  if (const PrinterConfig* p = printerAtLevel2(state(), hPrinter, level)) {
    Packer pack(sizeof(PRINTER_INFO_2W));
    for (auto text : {p->name, std::u16string(), p->port, p->driver, std::u16string(), std::u16string(),
                      std::u16string(), std::u16string(u"winprint"), std::u16string(u"RAW"), std::u16string()})
      pack.add(text);
    if (fits(pack, buffer, size, needed)) {
      auto str = pack.place(buffer, sizeof(PRINTER_INFO_2W));
      PRINTER_INFO_2W info{};
      info.pPrinterName = str[0];
      info.pShareName = str[1];
      info.pPortName = str[2];
      info.pDriverName = str[3];
      info.pComment = str[4];
      info.pLocation = str[5];
      info.pSepFile = str[6];
      info.pPrintProcessor = str[7];
      info.pDatatype = str[8];
      info.pParameters = str[9];
      info.Priority = info.DefaultPriority = 1;
      std::memcpy(buffer, &info, sizeof info);
      ok = TRUE;
    }
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
  if (const PrinterConfig* p = printerAtLevel2(state(), hPrinter, level)) {
    Packer pack(sizeof(DRIVER_INFO_2W));
    std::u16string env = environment ? std::u16string(environment) : u"Windows NT x86";
    for (auto text : {p->driver, env, p->driverPath, driverDirectory(*p) + u"KQXL.PPD", p->configFile})
      pack.add(text);
    if (fits(pack, buffer, size, needed)) {
      auto str = pack.place(buffer, sizeof(DRIVER_INFO_2W));
      DRIVER_INFO_2W info{3, str[0], str[1], str[2], str[3], str[4]};
      std::memcpy(buffer, &info, sizeof info);
      ok = TRUE;
      log.out("pDriverPath", p->driverPath);
    }
  }
  log.result(ok);
  return ok;
}

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size,
                             LPDWORD needed) {
  ApiCall log("GetPrinterDataW");
  log.ptr("hPrinter", hPrinter).arg("pValueName", name).arg("nSize", size);
  auto g = lock();
  auto& s = state();
  DWORD rc = ERROR_SUCCESS;
  const PrinterConfig* p = printerOf(s, hPrinter);
  if (!p) {
    rc = ERROR_INVALID_HANDLE;
  } else if (faultHits("GetPrinterDataW")) {
    rc = ERROR_NOT_ENOUGH_MEMORY;
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
  auto job = s.jobs.find(jobId);
  if (!findPrinterHandle(s, hPrinter)) {
    setError(ERROR_INVALID_HANDLE);
  } else if (level != 1) {
    setError(ERROR_INVALID_LEVEL);
  } else if (job == s.jobs.end()) {
    setError(ERROR_INVALID_PARAMETER);
  } else {
    Packer pack(sizeof(JOB_INFO_1W));
    for (auto text : {job->second.first, std::u16string(u"\\\\WINSIM"), std::u16string(u"user"), job->second.second,
                      std::u16string(u"RAW")})
      pack.add(text);
    if (fits(pack, buffer, size, needed)) {
      auto str = pack.place(buffer, sizeof(JOB_INFO_1W));
      JOB_INFO_1W info{};
      info.JobId = jobId;
      info.pPrinterName = str[0];
      info.pMachineName = str[1];
      info.pUserName = str[2];
      info.pDocument = str[3];
      info.pDatatype = str[4];
      info.Priority = info.Position = 1;
      std::memcpy(buffer, &info, sizeof info);
      ok = TRUE;
    }
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
  if (!ph) {
    setError(ERROR_INVALID_HANDLE);
  } else if (level != 1 || !info) {
    setError(ERROR_INVALID_LEVEL);
  } else if (ph->document) {
    setError(ERROR_INVALID_PRINTER_STATE);
  } else {
    log.arg("pDocName", info->pDocName).arg("pOutputFile", info->pOutputFile);
    job = s.nextJobId++;
    s.jobs[job] = {ph->printer, std::u16string(view(info->pDocName))};
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
  PrinterHandle* ph = findPrinterHandle(s, hPrinter);
  if (!ph) {
    setError(ERROR_INVALID_HANDLE);
  } else if (!ph->document) {
    setError(ERROR_SPL_NO_STARTDOC);
  } else {
    endDocument(s, *ph);
    ok = TRUE;
  }
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
  PrinterHandle* ph = findPrinterHandle(s, hPrinter);
  if (!ph) {
    setError(ERROR_INVALID_HANDLE);
  } else if (!ph->document) {
    setError(ERROR_SPL_NO_STARTDOC);
  } else if (faultHits("WritePrinter")) {
    setError(ERROR_NOT_READY);
  } else {
    OpenDocument& doc = s.openDocuments[ph->document];
    if (size && !(doc.sink && doc.sink->write(data, size))) {
      setError(ERROR_DISK_FULL);
    } else {
      s.documents[doc.record].bytes += size;
      if (written) *written = size;
      ok = TRUE;
    }
  }
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
  HANDLE h = printerHandleValue(s.nextPrinter++);
  s.printerHandles[reinterpret_cast<uintptr_t>(h)] = PrinterHandle{std::u16string(printer), 0};
  return h;
}

void ClosePrinterHandle(HANDLE printer) {
  auto g = lock();
  auto& s = state();
  PrinterHandle* ph = findPrinterHandle(s, printer);
  if (!ph) return;
  if (ph->document) endDocument(s, *ph);
  s.printerHandles.erase(reinterpret_cast<uintptr_t>(printer));
}

struct PrintJob::Hooks {
  HANDLE(WINAPI* startDoc)(HANDLE, DWORD);
  BOOL(WINAPI* writePrinter)(HANDLE, LPVOID, DWORD, LPDWORD);
  BOOL(WINAPI* startPage)(HANDLE);
  BOOL(WINAPI* endPage)(HANDLE);
  void(WINAPI* endDoc)(HANDLE);
  void(WINAPI* abort)(HANDLE);
  void(WINAPI* close)(HANDLE);
};

namespace {

// The spooler keeps a driver's interface module loaded for as long as the
// machine runs, so that its process-wide state lasts from job to job.
bool spoolerComponent(const std::u16string& configFile, PrintJob::Hooks* hooks, std::string* error);

}  // namespace

PrintJob::PrintJob(std::u16string_view printer, DWORD jobId, std::u16string_view document,
                   std::u16string_view outputFile)
    : printerName_(printer), document_(document), outputFile_(outputFile), jobId_(jobId) {}

PrintJob::~PrintJob() {
  if (driverJob_) close();
  if (printer_) ClosePrinterHandle(printer_);
  delete hooks_;
}

bool PrintJob::startDoc() {
  last_ = HookResult{"DrvSplStartDoc"};
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
  hooks_ = new Hooks{};
  if (!spoolerComponent(configFile, hooks_, &error_)) return false;
  printer_ = OpenPrinterHandle(printerName_);
  {
    auto g = lock();
    auto& s = state();
    if (jobId_ == 0) jobId_ = s.nextJobId;
    s.nextJobId = std::max(s.nextJobId, jobId_ + 1);
    s.jobs[jobId_] = {printerName_, document_};
    startDocument(s, *findPrinterHandle(s, printer_), document_, outputFile_);
  }
  driverJob_ = hooks_->startDoc(printer_, jobId_);
  last_.hasResult = true;
  last_.handleNull = driverJob_ == nullptr;
  last_.result = driverJob_ != nullptr;
  if (!driverJob_) {
    ClosePrinterHandle(printer_);
    printer_ = nullptr;
  }
  return driverJob_ != nullptr;
}

BOOL PrintJob::write(const void* data, DWORD size, DWORD* written) {
  DWORD count = 0;
  BOOL r = hooks_->writePrinter(driverJob_, const_cast<void*>(data), size, &count);
  if (written) *written = count;
  last_ = HookResult{"DrvSplWritePrinter", true, r, true, count};
  return r;
}

BOOL PrintJob::startPage() {
  BOOL r = hooks_->startPage(driverJob_);
  last_ = HookResult{"DrvSplStartPage", true, r};
  return r;
}

BOOL PrintJob::endPage() {
  BOOL r = hooks_->endPage(driverJob_);
  last_ = HookResult{"DrvSplEndPage", true, r};
  return r;
}

void PrintJob::endDoc() {
  hooks_->endDoc(driverJob_);
  last_ = HookResult{"DrvSplEndDoc"};
}

void PrintJob::abort() {
  hooks_->abort(driverJob_);
  last_ = HookResult{"DrvSplAbort"};
}

void PrintJob::close() {
  hooks_->close(driverJob_);
  driverJob_ = nullptr;
  last_ = HookResult{"DrvSplClose"};
  ClosePrinterHandle(printer_);
  printer_ = nullptr;
}

namespace {

bool spoolerComponent(const std::u16string& configFile, PrintJob::Hooks* hooks, std::string* error) {
  HMODULE module = nullptr;
  {
    auto g = lock();
    auto& s = state();
    for (auto& [h, m] : s.modules)
      if (m.spoolerRefs > 0 && m.winPath == fullWinPath(configFile)) module = reinterpret_cast<HMODULE>(h);
  }
  if (!module) module = loadModule(configFile, true);
  if (!module) {
    *error = "the printer's driver module " + toUtf8(configFile) + " could not be loaded (error " +
             std::to_string(GetLastError()) + ")";
    return false;
  }
  auto find = [&](const char* name) { return moduleSymbol(module, name); };
  hooks->startDoc = reinterpret_cast<decltype(hooks->startDoc)>(find("DrvSplStartDoc"));
  hooks->writePrinter = reinterpret_cast<decltype(hooks->writePrinter)>(find("DrvSplWritePrinter"));
  hooks->startPage = reinterpret_cast<decltype(hooks->startPage)>(find("DrvSplStartPage"));
  hooks->endPage = reinterpret_cast<decltype(hooks->endPage)>(find("DrvSplEndPage"));
  hooks->endDoc = reinterpret_cast<decltype(hooks->endDoc)>(find("DrvSplEndDoc"));
  hooks->abort = reinterpret_cast<decltype(hooks->abort)>(find("DrvSplAbort"));
  hooks->close = reinterpret_cast<decltype(hooks->close)>(find("DrvSplClose"));
  if (!hooks->startDoc || !hooks->writePrinter || !hooks->startPage || !hooks->endPage || !hooks->endDoc ||
      !hooks->abort || !hooks->close) {
    *error = toUtf8(configFile) + " lacks the spooler hooks";
    return false;
  }
  return true;
}

}  // namespace

}  // namespace winsim
