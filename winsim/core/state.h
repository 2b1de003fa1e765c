// The state every DLL folder of winsim shares: the current machine's root,
// the name cache, injected faults, the observer and the API log. Each DLL
// folder keeps its own tables in a part of the machine (its folder's
// state.h); core/ owns the parts and never looks inside them. There is no
// machine-wide lock, as Windows has none: each table has a short one of its
// own (core/handle_table.h) and each object another, and no call holds a
// table's lock while it calls into a loaded module or a host.
#pragma once

#include <windows.h>
#include <winsim/machine.h>
#include <winsim/spooler.h>

#include "core/name_cache.h"
#include "core/quiet_mutex.h"

#include <atomic>
#include <cstdint>
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
std::u16string_view view(LPCWSTR s);                                    // empty for null

struct FaultRule {
  FaultPlan plan;
  int seen = 0;
  int fired = 0;
  bool spent = false;
};

// What one thread's calls record: the calls that could have been made to
// fail, by function, and the injected faults, which belong to the thread
// that set them up (several hosts may play on one machine at once, one
// thread each). Its lock is the thread's own, and others take it only to
// read the counts.
struct ThreadRecord {
  Publication publication;
  std::mutex mu;
  std::map<std::string, int, std::less<>> faultPoints;
  std::vector<FaultRule> faults;
  int faultsFired = 0;
};

// What one DLL folder keeps of the machine, in its folder's state.h. The
// machine makes the parts in the reverse order of `Dll` and ends them in
// its order: documents still open on device contexts first (their jobs call
// into loaded modules), then printers, then modules, files and memory.
enum class Dll { Gdi32, Winspool, User32, Advapi32, Kernel32, Count };

struct State;

struct DllPart {
  virtual ~DllPart() = default;
  // Once every part is made: what the part reads from the machine folder.
  virtual void start(State&) {}
  // As the machine goes.
  virtual void shutdown(State&) {}
  // A host is about to read or change the machine's files directly: what
  // handles hold of them (writes not yet out, reads ahead) goes.
  virtual void beforeHostAccess(State&) {}
  // What the component left behind, and the open handles and blocks it holds.
  virtual void leaks(std::vector<Leak>&) const {}
  virtual void count(Snapshot&) const {}
};

// Each DLL folder registers how its part is made as the library loads.
using PartFactory = std::unique_ptr<DllPart> (*)();
bool registerPart(Dll dll, PartFactory make);

struct State {
  const uint64_t serial;  // no two machines of a process share one
  fs::path root;
  NameCache names;

  // Set by the host while no job plays. The observer is called on the
  // thread that did what it reports, and serialises what it shares itself.
  Observer observer;
  std::atomic<bool> logApi{false};
  std::atomic<bool> keepHistory{true};

  // 8.3 names a test gave: host folder and upper-cased short name -> the
  // entry's host name.
  QuietMutex shortNamesMu;
  std::map<std::string, std::string> shortNames;

  QuietMutex threadsMu;
  std::vector<std::unique_ptr<ThreadRecord>> threads;

  std::set<std::string> tempAtStart;

  std::unique_ptr<DllPart> parts[static_cast<size_t>(Dll::Count)];

  State();
};

// The machine's part of a DLL folder: Part names its `Dll` as kDll.
template <class Part>
Part& part(State& s) {
  return static_cast<Part&>(*s.parts[static_cast<size_t>(Part::kDll)]);
}
template <class Part>
const Part& part(const State& s) {
  return static_cast<const Part&>(*s.parts[static_cast<size_t>(Part::kDll)]);
}

// The parts made and started, as a machine starts; ended, as it stops.
void makeParts(State& s);
void endParts(State& s);

State& state();  // the current machine; aborts when there is none
State* current();
ThreadRecord& threadRecord();  // the calling thread's, on the current machine
void setCurrent(State* s);

void setError(DWORD code);
DWORD lastError();

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
std::u16string windowsDirectory();
std::u16string tempDirectory();

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
