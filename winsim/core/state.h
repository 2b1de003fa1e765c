// The state of the current simulated machine, shared by winsim's DLL
// folders. Every Win32 entry point takes `lock()` while it touches it and
// never holds it while calling into a loaded module.
#pragma once

#include <windows.h>
#include <winsim/machine.h>
#include <winsim/spooler.h>

#include "core/name_cache.h"
#include "gdi32/outline.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <string>
#include <string_view>
#include <vector>

namespace winsim::detail {

// Ordering of names that Windows compares without regard to case.
struct CaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const;
};

char16_t upper(char16_t c);
std::u16string upper(std::u16string_view s);
bool equalsNoCase(std::u16string_view a, std::u16string_view b);
bool globMatch(std::u16string_view pattern, std::u16string_view text);  // case-insensitive
std::u16string_view view(LPCWSTR s);  // empty for null

struct OpenFile {
  int fd = -1;
  std::string key;  // canonical host path, for share modes
  std::u16string winPath;
  DWORD access = 0;
  DWORD share = 0;
  int64_t position = 0;  // the handle's file pointer
  std::string pending;   // written, not yet passed to the host, ending at `position`
  std::string ahead;     // read ahead from `aheadAt`, until anything writes to the file
  int64_t aheadAt = 0;
};

struct RegValue {
  std::u16string name;  // as first written
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
};

struct RegNode {
  std::u16string name;
  std::map<std::u16string, RegNode, CaseLess> subkeys;
  std::map<std::u16string, RegValue, CaseLess> values;
};

struct OpenKey {
  std::vector<std::u16string> path;  // from HKEY_CURRENT_USER
  REGSAM access = 0;
};

struct Module {
  std::string key;  // canonical host path
  std::u16string winPath;
  void* dl = nullptr;
  int refs = 0;
  int spoolerRefs = 0;  // references the spooler itself holds
};

struct PrinterHandle {
  std::u16string printer;
  int document = 0;  // current document number, 0 for none
  std::vector<DWORD> jobs;  // the jobs started on it, forgotten when it closes
};

struct OpenDocument {
  std::unique_ptr<DocumentSink> sink;
  DocumentRecord record;
  bool failed = false;
};

// GDI objects: fonts and pens by their description, and printer device
// contexts with the internal job their document runs as.
struct GdiObject {
  enum Kind { Font, Pen } kind = Font;
  LOGFONTW font{};
  int penStyle = PS_SOLID, penWidth = 1;
  COLORREF penColor = 0;
  bool stock = false;
};

struct DeviceContext {
  std::u16string printer;
  std::vector<uint8_t> devmode;
  uintptr_t font = 0, pen = 0;
  COLORREF textColor = 0;
  int bkMode = OPAQUE;
  UINT align = TA_LEFT | TA_TOP;
  bool inPath = false;
  gdi::Path path;  // recorded between BeginPath and EndPath, in device pixels
  std::shared_ptr<PrintJob> job;
  bool pageOpen = false;
};

struct FaultRule {
  FaultPlan plan;
  int seen = 0;
  int fired = 0;
  bool spent = false;
  std::thread::id thread;  // whose calls it fails
};

struct State {
  std::recursive_mutex mu;
  fs::path root;
  NameCache names;  // its own lock: paths are resolved with or without `mu`
  LANGID lang = 0x0409;
  UINT acp = 1252;

  std::map<uintptr_t, OpenFile> files;
  uintptr_t nextFile = 1;
  std::map<void*, size_t> blocks;

  RegNode hkcu;
  std::map<uintptr_t, OpenKey> keys;
  uintptr_t nextKey = 1;

  std::map<uintptr_t, Module> modules;
  uintptr_t nextModule = 1;

  std::vector<PrinterConfig> printers;
  std::map<uintptr_t, PrinterHandle> printerHandles;
  uintptr_t nextPrinter = 1;
  std::map<DWORD, std::pair<std::u16string, std::u16string>> jobs;  // id -> printer, document
  DWORD nextJobId = 1;
  int documentCount = 0;
  std::vector<DocumentRecord> documents;  // finished, while the history is kept
  std::map<int, OpenDocument> openDocuments;
  SinkFactory sinkFactory;

  // Scripted answers and injected faults belong to the thread that set them
  // up: several hosts may play on one machine at once, one thread each.
  std::map<std::thread::id, std::deque<int>> answers;
  std::function<int(const MessageBoxRecord&)> ask;
  std::vector<MessageBoxRecord> boxes;
  std::vector<std::u16string> traces;
  std::vector<FaultRule> faults;
  // The calls that could have been made to fail, by function, and how
  // many did fail.
  std::map<std::string, int, std::less<>> faultPoints;
  int faultsFired = 0;
  Observer observer;
  bool logApi = false;
  bool keepHistory = true;

  std::map<uintptr_t, GdiObject> gdiObjects;
  std::map<uintptr_t, DeviceContext> dcs;
  uintptr_t nextGdi = 1;

  // 8.3 names a test gave: host folder and upper-cased short name -> the
  // entry's host name.
  std::map<std::string, std::string> shortNames;

  std::set<std::string> tempAtStart;
  unsigned tempCounter = 0;
};

State& state();  // the current machine; aborts when there is none
std::unique_lock<std::recursive_mutex> lock();
State* current();
void setCurrent(State* s);

void setError(DWORD code);

// Injected faults (core/faults.cpp). Every API call is a fault point; a
// point that is not an API call (the outlines of text, say) counts and
// decides with faultHits.
bool canFail(std::string_view function);
void countFaultPoint(const char* function);
bool faultDue(const char* function, std::u16string_view path);
bool faultHits(const char* function, std::u16string_view path = {});

// Paths. C:\ maps onto the machine folder; lookup is case-insensitive.
// Windows' full path: absolute, backslashes, no . or .., no trailing dots
// and spaces on the last name; the local machine's \\NAME\C$ share is C:.
std::u16string fullWinPath(std::u16string_view path);
// The same as GetFullPathNameW gives it: a UNC path stays one, \\?\ as it stands.
std::u16string normalWinPath(std::u16string_view path);
// ERROR_INVALID_NAME for a character Windows refuses in a name (controls,
// < > " | ? *, a colon past the drive); else 0.
DWORD invalidNameError(std::u16string_view path);
// The host path of a file on drive C:; false with pathError() saying why
// (ERROR_INVALID_NAME, ERROR_BAD_NETPATH for another machine's share,
// ERROR_PATH_NOT_FOUND).
bool hostPathOf(std::u16string_view winPath, fs::path* host);
DWORD pathError();
std::string shortNameKey(const fs::path& folder, std::u16string_view shortName);
constexpr char16_t kComputerName[] = u"WINSIM";
std::string canonicalKey(const fs::path& host);
void forgetName(const fs::path& host);  // winsim removed it
// Writes that handles still hold go to the host files: every handle's, or
// those of one file (by its key).
void flushWrites(State& s);
void flushWrites(State& s, const std::string& key);
// What handles read ahead is dropped: of one file, or of all when the
// host files may have changed.
void forgetReads(State& s, const std::string& key);
void forgetReads(State& s);
std::u16string windowsDirectory();
std::u16string tempDirectory();

// Registry persistence (advapi32).
void loadRegistry(State& s);
void saveRegistry(const State& s);
RegNode* findKey(RegNode& root, const std::vector<std::u16string>& path);
std::vector<std::u16string> splitKeyPath(std::u16string_view path);

// Profile files, for hosts (kernel32).
using ProfileData = std::map<std::u16string, std::map<std::u16string, std::u16string, CaseLess>, CaseLess>;
ProfileData readProfile(const fs::path& host);
bool writeProfileString(std::u16string_view file, LPCWSTR section, LPCWSTR key, LPCWSTR value);

// Code pages (kernel32).
bool decodeAnsi(UINT codePage, std::string_view bytes, std::u16string* out, bool strict);
std::string encodeAnsi(UINT codePage, std::u16string_view text, char defaultChar, bool* usedDefault);

// One line of the API log: collects the arguments of a call and emits it
// with its result. Does nothing while the log is off. Each call is a fault
// point: the function asks fails() before doing anything.
class ApiCall {
 public:
  explicit ApiCall(const char* function);
  // True when an injected fault fails this call (for the file at `path`,
  // where the rule names files); the last error is then the call's own.
  bool fails(std::u16string_view path = {});
  ApiCall& arg(const char* name, std::u16string_view value);
  ApiCall& arg(const char* name, LPCWSTR value);
  ApiCall& arg(const char* name, LPCSTR value);
  ApiCall& arg(const char* name, long long value);
  ApiCall& hex(const char* name, unsigned long long value);
  ApiCall& ptr(const char* name, const void* value);
  ApiCall& out(const char* name, std::u16string_view value);
  void result(long long value);
  void resultHex(unsigned long long value);
  void resultPtr(const void* value);
  void resultNone();

 private:
  void field(const char* name, const std::string& json);
  void emit(const std::string& result);
  bool on_;
  std::string function_;
  std::string args_;
  std::string outs_;
};

std::string jsonString(std::string_view s);
using winsim::jsonString;

}  // namespace winsim::detail
