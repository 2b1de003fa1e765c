#include "standins.h"

#include <fcntl.h>
#include <io.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "gdi.h"
#include "jobkit/text.h"
#include "message_answers.h"

namespace kqxlwin {

namespace {

std::u16string U16(const wchar_t* s) { return s ? std::u16string(s, s + lstrlenW(s)) : std::u16string(); }
const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

bool EqualsNoCase(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(W(a), -1, W(b), -1, TRUE) == CSTR_EQUAL;
}

// One spooler document: its bytes stream to a file or standard output.
struct Document {
  Document(int n, std::u16string documentName, FILE* output, bool ownsOutput, std::string fileName)
      : number(n), name(std::move(documentName)), file(std::move(fileName)), out(output), owned(ownsOutput) {
    if (out && owned) std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
  }
  ~Document() { finish(); }
  bool write(const void* data, DWORD size) {
    if (size && out && std::fwrite(data, 1, size, out) != size) return false;
    bytes += size;
    return true;
  }
  void finish() {
    if (out && owned) std::fclose(out);
    else if (out) std::fflush(out);
    out = nullptr;
  }

  int number;
  std::u16string name;
  std::string file;
  uint64_t bytes = 0;
  bool cancelled = false;  // its job was cancelled while it was open
  FILE* out;
  bool owned;
  char buffer[64 * 1024];
};

struct PrinterHandle {
  std::u16string printer;
  std::unique_ptr<Document> document;
  std::vector<DWORD> jobs;  // the jobs started on it, forgotten when it closes; the last is its current job
  bool cancelled = false;   // its current job was cancelled: no more writes, no new document
  std::vector<winsim::CancelTrigger> cancels;  // armed by the script, for its current job
};

struct JobEntry {
  std::u16string printer, document;
  bool deleting = false;  // cancelled, and the spooler not yet done with it
};

struct Spooler {
  Listener* listener = nullptr;
  fs::path folder;
  std::vector<Printer> printers{Printer{}};
  std::map<uintptr_t, PrinterHandle> handles;
  uintptr_t nextHandle = 1;
  std::map<DWORD, JobEntry> jobs;
  DWORD nextJobId = 1;
  int documents = 0;
  std::deque<int> answers;
  // Bookkeeping of the component's holdings.
  std::map<HGLOBAL, SIZE_T> blocks;
  std::map<HANDLE, std::u16string> files;
  std::map<HMODULE, std::pair<std::u16string, int>> modules;  // path, references
};

Spooler& S() {
  static Spooler s;
  return s;
}

PrinterHandle* HandleOf(HANDLE h) {
  auto it = S().handles.find(reinterpret_cast<uintptr_t>(h));
  return it == S().handles.end() ? nullptr : &it->second;
}

const Printer* PrinterOf(HANDLE h) {
  PrinterHandle* ph = HandleOf(h);
  return ph ? FindPrinter(ph->printer) : nullptr;
}

const Printer* PrinterAtLevel2(HANDLE h, DWORD level) {
  const Printer* p = PrinterOf(h);
  if (!p) SetLastError(ERROR_INVALID_HANDLE);
  else if (level != 2) SetLastError(ERROR_INVALID_LEVEL);
  return p && level == 2 ? p : nullptr;
}

DWORD CurrentJobOf(const PrinterHandle& ph) { return ph.jobs.empty() ? 0 : ph.jobs.back(); }

// The cancel as the spooler receives it, from the queue's user in another
// process. It is made here on the job's own thread: a thread of the
// runner's own would be announced to the component's DllMain (its
// thread-local storage keeps DisableThreadLibraryCalls from taking), where
// the spooler's own threads that carry a cancel are there already.
void CancelNow(DWORD jobId) {
  auto job = S().jobs.find(jobId);
  if (job == S().jobs.end()) return;
  job->second.deleting = true;
  for (auto& [h, ph] : S().handles) {
    if (CurrentJobOf(ph) != jobId) continue;
    ph.cancelled = true;
    if (ph.document) ph.document->cancelled = true;
  }
}

// An armed cancel of this handle's (or, for a box, any handle's) current
// job that falls at this event.
void CancelIfDue(PrinterHandle* only, bool (winsim::CancelTrigger::*event)()) {
  DWORD due = 0;
  for (auto& [h, ph] : S().handles) {
    if (only && &ph != only) continue;
    for (auto& trigger : ph.cancels)
      if ((trigger.*event)()) due = CurrentJobOf(ph);
    std::erase_if(ph.cancels, [](const winsim::CancelTrigger& t) { return t.spent(); });
  }
  if (due) CancelNow(due);
}

// A document goes to the file its job names (the internal watermark job's
// DOCINFO output), to DIR\doc-N.prn, or to standard output.
void StartDocument(PrinterHandle& ph, const std::u16string& name, const std::u16string& output = {}) {
  Spooler& s = S();
  int number = ++s.documents;
  FILE* out = nullptr;
  bool owned = false;
  std::string file;
  if (!output.empty()) {
    file = jobkit::utf8Of(output);  // as the job named it
    out = _wfopen(W(output), L"wb");
    owned = true;
  } else if (!s.folder.empty()) {
    file = "doc-" + std::to_string(number) + ".prn";
    out = _wfopen((s.folder / file).c_str(), L"wb");
    owned = true;
  } else if (!_isatty(_fileno(stdout))) {
    _setmode(_fileno(stdout), _O_BINARY);
    out = stdout;
  }
  ph.document = std::make_unique<Document>(number, name, out, owned, file);
}

void EndDocument(PrinterHandle& ph) {
  if (!ph.document) return;
  std::unique_ptr<Document> doc = std::move(ph.document);
  doc->finish();
  if (S().listener) S().listener->documentDone(doc->number, doc->name, doc->bytes, doc->file, doc->cancelled);
}

// ---------------------------------------------------------------- winspool.drv

BOOL WINAPI StandInGetPrinterW(HANDLE hPrinter, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  const Printer* p = PrinterAtLevel2(hPrinter, level);
  return p && winsim::PackPrinterInfo2(*p, buffer, size, needed);
}

BOOL WINAPI StandInGetPrinterDriverW(HANDLE hPrinter, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                     LPDWORD needed) {
  const Printer* p = PrinterAtLevel2(hPrinter, level);
  return p && winsim::PackDriverInfo2(*p, U16(environment), buffer, size, needed);
}

DWORD WINAPI StandInGetPrinterDataW(HANDLE hPrinter, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size,
                                    LPDWORD needed) {
  const Printer* p = PrinterOf(hPrinter);
  if (!p) return ERROR_INVALID_HANDLE;
  auto it = p->data.find(U16(name));
  if (it == p->data.end()) return ERROR_FILE_NOT_FOUND;
  if (needed) *needed = static_cast<DWORD>(it->second.size());
  if (type) *type = REG_BINARY;
  if (!data || size < it->second.size()) return ERROR_MORE_DATA;
  std::memcpy(data, it->second.data(), it->second.size());
  return ERROR_SUCCESS;
}

BOOL WINAPI StandInGetJobW(HANDLE hPrinter, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  auto job = S().jobs.find(jobId);
  if (!HandleOf(hPrinter)) return SetLastError(ERROR_INVALID_HANDLE), FALSE;
  if (level != 1) return SetLastError(ERROR_INVALID_LEVEL), FALSE;
  if (job == S().jobs.end()) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  const JobEntry& entry = job->second;
  return winsim::PackJobInfo1(jobId, entry.printer, entry.document, entry.deleting ? winsim::kCancelledJobStatus : 0,
                              buffer, size, needed);
}

DWORD WINAPI StandInStartDocPrinterW(HANDLE hPrinter, DWORD level, LPBYTE docInfo) {
  PrinterHandle* ph = HandleOf(hPrinter);
  auto* info = reinterpret_cast<DOC_INFO_1W*>(docInfo);
  if (!ph) return SetLastError(ERROR_INVALID_HANDLE), 0;
  if (level != 1 || !info) return SetLastError(ERROR_INVALID_LEVEL), 0;
  if (ph->document) return SetLastError(ERROR_INVALID_PRINTER_STATE), 0;
  if (ph->cancelled) return SetLastError(ERROR_PRINT_CANCELLED), 0;  // no new document for a cancelled job
  DWORD job = S().nextJobId++;
  S().jobs[job] = {ph->printer, U16(info->pDocName)};
  ph->jobs.push_back(job);
  StartDocument(*ph, U16(info->pDocName));
  return job;
}

BOOL WINAPI StandInEndDocPrinter(HANDLE hPrinter) {
  PrinterHandle* ph = HandleOf(hPrinter);
  if (!ph) return SetLastError(ERROR_INVALID_HANDLE), FALSE;
  if (!ph->document) return SetLastError(ERROR_SPL_NO_STARTDOC), FALSE;
  EndDocument(*ph);
  CancelIfDue(ph, &winsim::CancelTrigger::documentEnded);
  return TRUE;
}

BOOL WINAPI StandInWritePrinter(HANDLE hPrinter, LPVOID data, DWORD size, LPDWORD written) {
  if (written) *written = 0;
  PrinterHandle* ph = HandleOf(hPrinter);
  if (!ph) return SetLastError(ERROR_INVALID_HANDLE), FALSE;
  if (!ph->document) return SetLastError(ERROR_SPL_NO_STARTDOC), FALSE;
  if (ph->cancelled) return SetLastError(ERROR_PRINT_CANCELLED), FALSE;
  if (!ph->document->write(data, size)) return SetLastError(ERROR_DISK_FULL), FALSE;
  if (written) *written = size;
  CancelIfDue(ph, &winsim::CancelTrigger::wrote);
  return TRUE;
}

// ---------------------------------------------------------------- user32, kernel32

int WINAPI StandInMessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT style) {
  CancelIfDue(nullptr, &winsim::CancelTrigger::boxUp);  // the user may cancel the job while its box is up
  int answer = winsim::FirstButton(style);
  if (!S().answers.empty()) {
    answer = S().answers.front();
    S().answers.pop_front();
  }
  std::optional<std::u16string> cap;
  if (caption) cap = U16(caption);
  if (S().listener) S().listener->messageBox(U16(text), cap, style, answer);
  return answer;
}

void WINAPI StandInOutputDebugStringW(LPCWSTR text) { Trace(U16(text)); }

HGLOBAL WINAPI StandInGlobalAlloc(UINT flags, SIZE_T size) {
  HGLOBAL block = GlobalAlloc(flags, size);
  if (block) S().blocks[block] = size;
  return block;
}

HGLOBAL WINAPI StandInGlobalFree(HGLOBAL block) {
  S().blocks.erase(block);
  return GlobalFree(block);
}

HANDLE WINAPI StandInCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
  HANDLE h = CreateFileW(path, access, share, security, disposition, flags, templateFile);
  if (h != INVALID_HANDLE_VALUE) S().files[h] = U16(path);
  return h;
}

BOOL WINAPI StandInCloseHandle(HANDLE h) {
  S().files.erase(h);
  return CloseHandle(h);
}

HMODULE WINAPI StandInLoadLibraryW(LPCWSTR path);

BOOL WINAPI StandInFreeLibrary(HMODULE module) {
  auto it = S().modules.find(module);
  if (it != S().modules.end() && --it->second.second == 0) S().modules.erase(it);
  return FreeLibrary(module);
}

const Redirect kRedirects[] = {
    {"winspool.drv", "GetPrinterW", reinterpret_cast<void*>(StandInGetPrinterW)},
    {"winspool.drv", "GetPrinterDriverW", reinterpret_cast<void*>(StandInGetPrinterDriverW)},
    {"winspool.drv", "GetPrinterDataW", reinterpret_cast<void*>(StandInGetPrinterDataW)},
    {"winspool.drv", "GetJobW", reinterpret_cast<void*>(StandInGetJobW)},
    {"winspool.drv", "StartDocPrinterW", reinterpret_cast<void*>(StandInStartDocPrinterW)},
    {"winspool.drv", "EndDocPrinter", reinterpret_cast<void*>(StandInEndDocPrinter)},
    {"winspool.drv", "WritePrinter", reinterpret_cast<void*>(StandInWritePrinter)},
    {"user32.dll", "MessageBoxW", reinterpret_cast<void*>(StandInMessageBoxW)},
    {"kernel32.dll", "OutputDebugStringW", reinterpret_cast<void*>(StandInOutputDebugStringW)},
    // Bookkeeping only: these reach Windows.
    {"kernel32.dll", "GlobalAlloc", reinterpret_cast<void*>(StandInGlobalAlloc)},
    {"kernel32.dll", "GlobalFree", reinterpret_cast<void*>(StandInGlobalFree)},
    {"kernel32.dll", "CreateFileW", reinterpret_cast<void*>(StandInCreateFileW)},
    {"kernel32.dll", "CloseHandle", reinterpret_cast<void*>(StandInCloseHandle)},
    {"kernel32.dll", "LoadLibraryW", reinterpret_cast<void*>(StandInLoadLibraryW)},
    {"kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(StandInFreeLibrary)},
};

// The spooler's, user32's and kernel32's stand-ins, then the printer
// device context's.
const std::vector<Redirect>& AllRedirects() {
  static const std::vector<Redirect> all = [] {
    std::vector<Redirect> r(std::begin(kRedirects), std::end(kRedirects));
    size_t n = 0;
    const Redirect* gdi = GdiRedirects(&n);
    r.insert(r.end(), gdi, gdi + n);
    return r;
  }();
  return all;
}

// The driver's modules that the component loads (the overlay and utility
// libraries, the scanner component) are routed like the component itself.
HMODULE WINAPI StandInLoadLibraryW(LPCWSTR path) {
  HMODULE module = LoadLibraryW(path);
  if (!module) return nullptr;
  auto& entry = S().modules[module];
  if (entry.second++ == 0) {
    entry.first = U16(path);
    RedirectImports(module, AllRedirects().data(), AllRedirects().size());
  }
  return module;
}

}  // namespace

void SetListener(Listener* listener) { S().listener = listener; }
void SetDocumentFolder(const fs::path& dir) { S().folder = dir; }

const Printer* FindPrinter(const std::u16string& name) {
  for (auto& p : S().printers)
    if (EqualsNoCase(p.name, name)) return &p;
  return nullptr;
}

Printer& PrinterNamed(const std::u16string& name) {
  if (const Printer* p = FindPrinter(name)) return const_cast<Printer&>(*p);
  Printer p;
  p.name = name;
  S().printers.push_back(p);
  return S().printers.back();
}

void QueueAnswers(const std::vector<int>& answers) {
  S().answers.insert(S().answers.end(), answers.begin(), answers.end());
}

HANDLE OpenPrinterHandle(const std::u16string& printer) {
  if (!FindPrinter(printer)) return SetLastError(ERROR_INVALID_PRINTER_NAME), nullptr;
  uintptr_t id = 0x5000 + S().nextHandle++ * 4;
  S().handles[id] = PrinterHandle{printer};
  return reinterpret_cast<HANDLE>(id);
}

void ClosePrinterHandle(HANDLE printer) {
  PrinterHandle* ph = HandleOf(printer);
  if (!ph) return;
  EndDocument(*ph);
  for (DWORD job : ph->jobs) S().jobs.erase(job);
  S().handles.erase(reinterpret_cast<uintptr_t>(printer));
}

void CancelJob(HANDLE printer, const winsim::CancelPlan& plan) {
  PrinterHandle* ph = HandleOf(printer);
  if (!ph) return;
  if (plan.point == winsim::CancelPoint::Now) {
    if (DWORD job = CurrentJobOf(*ph)) CancelNow(job);
    return;
  }
  ph->cancels.emplace_back(plan);
}

bool IsCancelled(HANDLE printer) {
  PrinterHandle* ph = HandleOf(printer);
  return ph && ph->cancelled;
}

DWORD StartJob(HANDLE printer, DWORD id, const std::u16string& document, const std::u16string& output) {
  Spooler& s = S();
  if (id == 0) id = s.nextJobId;
  s.nextJobId = std::max(s.nextJobId, id + 1);
  PrinterHandle* ph = HandleOf(printer);
  s.jobs[id] = {ph->printer, document};
  ph->jobs.push_back(id);
  StartDocument(*ph, document, output);
  return id;
}

const Redirect* Redirects(size_t* count) {
  *count = AllRedirects().size();
  return AllRedirects().data();
}

std::vector<std::pair<std::string, std::string>> Holdings() {
  std::vector<std::pair<std::string, std::string>> r;
  for (auto& [h, path] : S().files) r.emplace_back("handle", "file " + jobkit::utf8Of(path));
  for (auto& [block, size] : S().blocks) {
    char where[32];
    std::snprintf(where, sizeof where, "%p", block);
    r.emplace_back("block", std::to_string(size) + " bytes at " + where);
  }
  for (auto& [module, entry] : S().modules)
    for (int i = 0; i < entry.second; ++i) r.emplace_back("module", jobkit::utf8Of(entry.first));
  for (auto& held : GdiHoldings()) r.push_back(held);
  return r;
}

void Trace(const std::u16string& text) {
  if (S().listener) S().listener->trace(text);
}

}  // namespace kqxlwin
