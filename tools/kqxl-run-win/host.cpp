#include "host.h"

#include <cstdio>
#include <map>

#include "jobkit/text.h"
#include "spooler_hooks.h"
#include "standins.h"

namespace kqxlwin {

namespace {

std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
std::string Utf8(std::u16string_view s) { return jobkit::utf8Of(s); }

bool Failed(std::string* error, const std::string& what, DWORD code) {
  *error = what + " (error " + std::to_string(code) + ")";
  return false;
}

// Every folder on the way to a file, as the simulated machine makes them.
void MakeFoldersFor(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

// A key path under HKEY_CURRENT_USER, with or without the hive's name.
std::wstring UserKey(std::u16string_view key) {
  for (std::u16string_view hive : {u"HKCU\\", u"HKEY_CURRENT_USER\\"})
    if (key.size() >= hive.size() &&
        CompareStringOrdinal(W(key.substr(0, hive.size())).c_str(), -1, W(hive).c_str(), -1, TRUE) == CSTR_EQUAL)
      return W(key.substr(hive.size()));
  return W(key);
}

bool SetValue(std::u16string_view key, std::u16string_view name, DWORD type, const void* data, DWORD size,
              std::string* error) {
  HKEY h = nullptr;
  LONG rc =
      RegCreateKeyExW(HKEY_CURRENT_USER, UserKey(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr);
  if (rc != ERROR_SUCCESS) return Failed(error, "cannot create the key " + Utf8(key), rc);
  rc = RegSetValueExW(h, W(name).c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(h);
  return rc == ERROR_SUCCESS || Failed(error, "cannot set " + Utf8(name), rc);
}

// ---------------------------------------------------------------- the component

// The spooler keeps a driver's interface module loaded while it runs, so
// that the module's process-wide state lasts from job to job.
std::map<std::u16string, std::pair<HMODULE, winsim::SpoolerHooks>>& Components() {
  static std::map<std::u16string, std::pair<HMODULE, winsim::SpoolerHooks>> loaded;
  return loaded;
}

bool LoadComponent(const std::u16string& path, winsim::SpoolerHooks* hooks, std::string* error) {
  auto it = Components().find(path);
  if (it != Components().end()) return *hooks = it->second.second, true;
  HMODULE module = LoadLibraryW(W(path).c_str());
  if (!module) {
    *error = "the printer's driver module " + Utf8(path) + " could not be loaded (error " +
             std::to_string(GetLastError()) + ")";
    return false;
  }
  size_t count = 0;
  const Redirect* redirects = Redirects(&count);
  RedirectImports(module, redirects, count);
  winsim::SpoolerHooks h{};
  if (!winsim::FindSpoolerHooks([&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); },
                                &h)) {
    FreeLibrary(module);
    *error = Utf8(path) + " lacks the spooler hooks";
    return false;
  }
  Components()[path] = {module, h};
  *hooks = h;
  return true;
}

class WinJob : public jobkit::SpoolerJob {
 public:
  WinJob(std::u16string_view printer, DWORD id, std::u16string_view document, std::u16string_view output = {})
      : printerName_(printer), document_(document), output_(output), jobId_(id) {}
  ~WinJob() override {
    if (calls_.started()) close();
    if (printer_) ClosePrinterHandle(printer_);
  }

  bool startDoc() override {
    const Printer* p = FindPrinter(printerName_);
    if (!p) {
      error_ = "no printer named \"" + Utf8(printerName_) + "\"";
      return false;
    }
    winsim::SpoolerHooks hooks{};
    if (!LoadComponent(p->configFile, &hooks, &error_)) return false;
    printer_ = OpenPrinterHandle(printerName_);
    jobId_ = StartJob(printer_, jobId_, document_, output_);
    if (calls_.startDoc(hooks, printer_, jobId_)) return true;
    ClosePrinterHandle(printer_);
    printer_ = nullptr;
    return false;
  }
  void write(const void* data, DWORD size) override {
    if (calls_.goesOn(IsCancelled(printer_))) calls_.write(data, size, nullptr);
  }
  void startPage() override {
    if (calls_.goesOn(IsCancelled(printer_))) calls_.startPage();
  }
  void endPage() override {
    if (calls_.goesOn(IsCancelled(printer_))) calls_.endPage();
  }
  void endDoc() override {
    calls_.goesOn(IsCancelled(printer_));
    calls_.endDoc();
  }
  void abort() override { calls_.abort(); }
  void cancel(const winsim::CancelPlan& plan) override { CancelJob(printer_, plan); }
  void close() override {
    calls_.goesOn(IsCancelled(printer_));
    calls_.close();
    ClosePrinterHandle(printer_);
    printer_ = nullptr;
  }
  bool started() const override { return calls_.started(); }
  const jobkit::HookResult& last() const override { return calls_.last(); }
  std::vector<jobkit::HookResult> takeResults() override { return calls_.takeResults(); }
  const std::string& error() const override { return error_; }

 private:
  std::u16string printerName_, document_, output_;
  DWORD jobId_;
  HANDLE printer_ = nullptr;
  winsim::HookedJob calls_;
  std::string error_;
};

}  // namespace

// ---------------------------------------------------------------- a scan

// A scan in progress is the scanning program holding its named mutex: a
// process of its own (this runner started again with --hold-scanner-port),
// so that the component's process sees no thread come and go. It holds the
// port from when `held` is set until `stop` is.
struct WinHost::Scan {
  HANDLE stop = nullptr, held = nullptr;
  PROCESS_INFORMATION process{};

  Scan() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    stop = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    held = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --hold-scanner-port " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(stop)) + L" " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(held));
    STARTUPINFOW startup{sizeof startup};
    if (CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
      HANDLE either[] = {held, process.hProcess};
      WaitForMultipleObjects(2, either, FALSE, INFINITE);
    }
  }
  ~Scan() {
    SetEvent(stop);
    if (process.hProcess) {
      WaitForSingleObject(process.hProcess, INFINITE);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
    CloseHandle(stop);
    CloseHandle(held);
  }
};

int HoldScannerPort(HANDLE stop, HANDLE held) {
  HANDLE port = CreateMutexW(nullptr, TRUE, L"Local\\KQScannerPort");
  SetEvent(held);
  WaitForSingleObject(stop, INFINITE);
  if (port) {
    ReleaseMutex(port);
    CloseHandle(port);
  }
  return port ? 0 : 1;
}

WinHost::WinHost() = default;
WinHost::~WinHost() {
  for (auto& [path, h] : held_) CloseHandle(h);
}

namespace {

std::wstring HeldKey(std::u16string_view path) {
  std::wstring key = W(path);
  CharUpperW(key.data());
  return key;
}

}  // namespace

// Held by the runner's own handle: share modes are the same between the
// handles of one process as between processes.
bool WinHost::holdFile(std::u16string_view path, DWORD access, DWORD share, std::string* error) {
  std::string ignored;
  releaseFile(path, &ignored);
  HANDLE h = CreateFileW(W(path).c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed(error, "cannot hold " + Utf8(path), GetLastError());
  held_[HeldKey(path)] = h;
  return true;
}

bool WinHost::releaseFile(std::u16string_view path, std::string*) {
  auto it = held_.find(HeldKey(path));
  if (it == held_.end()) return true;
  CloseHandle(it->second);
  held_.erase(it);
  return true;
}

void WinHost::changePrinter(const jobkit::PrinterChange& change) {
  Printer& p = PrinterNamed(change.name);
  if (change.port) p.port = *change.port;
  if (change.driver) p.driver = *change.driver;
  if (change.driverPath) p.driverPath = *change.driverPath;
  if (change.configFile) p.configFile = *change.configFile;
}

void WinHost::setPrinterData(std::u16string_view printer, std::u16string_view name, std::vector<uint8_t> data) {
  PrinterNamed(std::u16string(printer)).data[std::u16string(name)] = std::move(data);
}

bool WinHost::makeFolder(std::u16string_view path, std::string* error) {
  std::wstring p = W(path);
  MakeFoldersFor(p + L"\\");
  DWORD attributes = GetFileAttributesW(p.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Failed(error, "cannot make the folder " + Utf8(path), GetLastError());
  return true;
}

bool WinHost::writeFile(std::u16string_view path, std::string_view bytes, std::string* error) {
  std::wstring p = W(path);
  MakeFoldersFor(p);
  HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed(error, "cannot write " + Utf8(path), GetLastError());
  DWORD written = 0;
  BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  DWORD code = GetLastError();
  CloseHandle(h);
  return (ok && written == bytes.size()) || Failed(error, "cannot write " + Utf8(path), code);
}

bool WinHost::copyFileIn(std::u16string_view path, const jobkit::fs::path& hostFile, std::string* error) {
  std::wstring p = W(path);
  MakeFoldersFor(p);
  return CopyFileW(hostFile.c_str(), p.c_str(), FALSE) || Failed(error, "cannot copy to " + Utf8(path), GetLastError());
}

bool WinHost::deleteFile(std::u16string_view path, std::string*) {
  DeleteFileW(W(path).c_str());  // a file that is not there is not an error
  return true;
}

bool WinHost::holdScanner(bool hold, long long, std::string* error) {
  scan_.reset();
  if (!hold) return true;
  scan_ = std::make_unique<Scan>();
  return scan_->process.hProcess || Failed(error, "cannot start the scanning side", GetLastError());
}

bool WinHost::setProfileString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                               std::u16string_view value, std::string* error) {
  return WritePrivateProfileStringW(W(section).c_str(), W(key).c_str(), W(value).c_str(), W(file).c_str()) ||
         Failed(error, "cannot write " + Utf8(file), GetLastError());
}

bool WinHost::setRegistryString(std::u16string_view key, std::u16string_view name, std::u16string_view value,
                                std::string* error) {
  std::wstring v = W(value);
  return SetValue(key, name, REG_SZ, v.c_str(), static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)), error);
}

bool WinHost::setRegistryDword(std::u16string_view key, std::u16string_view name, DWORD value, std::string* error) {
  return SetValue(key, name, REG_DWORD, &value, sizeof value, error);
}

bool WinHost::deleteRegistryValue(std::u16string_view key, std::u16string_view name, std::string*) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, UserKey(key).c_str(), 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return true;
  RegDeleteValueW(h, W(name).c_str());  // a value that is not there is not an error
  RegCloseKey(h);
  return true;
}

// The locale and the code page are the machine's: a script may only name
// the ones in force, which the component reads as it does here.
bool WinHost::setLocale(LANGID lang, std::string* error) {
  char text[16] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTLANGUAGE, text, sizeof text - 1);
  unsigned long current = std::strtoul(text, nullptr, 16);
  if (current == lang) return true;
  char message[160];
  std::snprintf(message, sizeof message,
                "locale 0x%04x is not this machine's (0x%04lx): run under a user locale of that language", lang,
                current);
  *error = message;
  return false;
}

bool WinHost::setCodePage(UINT codePage, std::string* error) {
  if (codePage == GetACP()) return true;
  *error = "code page " + std::to_string(codePage) + " is not this machine's (" + std::to_string(GetACP()) +
           "): run under a system locale with that code page";
  return false;
}

void WinHost::queueAnswers(const std::vector<int>& answers) { QueueAnswers(answers); }

bool WinHost::addFault(const jobkit::Fault& fault, std::string* error) {
  *error = "fail " + fault.function + ": faults are injected only on the simulated machine (kqxl-run)";
  return false;
}

std::unique_ptr<jobkit::SpoolerJob> NewJob(std::u16string_view printer, std::u16string_view document,
                                           std::u16string_view output) {
  return std::make_unique<WinJob>(printer, 0, document, output);
}

std::unique_ptr<jobkit::SpoolerJob> WinHost::newJob(std::u16string_view printer, DWORD id,
                                                    std::u16string_view document) {
  return std::make_unique<WinJob>(printer, id, document);
}

void WinHost::unloadComponents() {
  for (auto& [path, component] : Components()) FreeLibrary(component.first);
  Components().clear();
}

}  // namespace kqxlwin
