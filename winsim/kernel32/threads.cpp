// Critical sections, thread notifications and debugger output.
#include <pthread.h>

#include <atomic>
#include <new>

#include "kernel32/state.h"

using namespace winsim::detail;

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::Opaque));

namespace {
pthread_mutex_t* mutexOf(LPCRITICAL_SECTION cs) { return reinterpret_cast<pthread_mutex_t*>(cs->Opaque); }
}  // namespace

extern "C" {

// The last error is the thread's own, as on Windows; every call of winsim
// sets it through setError.
DWORD WINAPI GetLastError(void) { return lastError(); }
void WINAPI SetLastError(DWORD code) { setError(code); }

// A critical section is recursive for its owning thread, as on Windows.
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(new (cs->Opaque) pthread_mutex_t, &attr);
  pthread_mutexattr_destroy(&attr);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_lock(mutexOf(cs)); }
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_unlock(mutexOf(cs)); }
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_destroy(mutexOf(cs)); }

// Numbers from 1 in the order threads first ask, never reused while the
// process runs (Windows reuses them only once a thread has ended).
DWORD WINAPI GetCurrentThreadId(void) {
  static std::atomic<DWORD> last{0};
  thread_local DWORD id = ++last;
  return id;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE module) {
  ApiCall log("DisableThreadLibraryCalls");
  log.ptr("hLibModule", module);
  BOOL ok = log.fails() ? FALSE : TRUE;
  log.result(ok);
  return ok;
}

void WINAPI OutputDebugStringW(LPCWSTR text) {
  std::u16string_view line = view(text);
  auto& s = state();
  if (s.keepHistory) {
    std::u16string kept(line);
    QuietLock g(kernel32(s).tracesMu);
    kernel32(s).traces.push_back(std::move(kept));
  }
  if (s.observer.trace) s.observer.trace(line);
}

}  // extern "C"
