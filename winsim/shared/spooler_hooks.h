// The printer driver's seven spooler hooks as the spooler finds and calls
// them, and the record of one call. Shared by the simulated machine's spooler
// and kqxl-run.exe's, so that both drive a component alike; self-contained
// but for the platform's <windows.h>.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

namespace winsim {

struct SpoolerHooks {
  HANDLE(WINAPI* startDoc)(HANDLE, DWORD);
  BOOL(WINAPI* writePrinter)(HANDLE, LPVOID, DWORD, LPDWORD);
  BOOL(WINAPI* startPage)(HANDLE);
  BOOL(WINAPI* endPage)(HANDLE);
  void(WINAPI* endDoc)(HANDLE);
  void(WINAPI* abort)(HANDLE);
  void(WINAPI* close)(HANDLE);
};

// The hooks by their export names; false when any is missing. `find` maps a
// name to the export's address.
template <typename Find>
bool FindSpoolerHooks(Find find, SpoolerHooks* hooks) {
  hooks->startDoc = reinterpret_cast<decltype(hooks->startDoc)>(find("DrvSplStartDoc"));
  hooks->writePrinter = reinterpret_cast<decltype(hooks->writePrinter)>(find("DrvSplWritePrinter"));
  hooks->startPage = reinterpret_cast<decltype(hooks->startPage)>(find("DrvSplStartPage"));
  hooks->endPage = reinterpret_cast<decltype(hooks->endPage)>(find("DrvSplEndPage"));
  hooks->endDoc = reinterpret_cast<decltype(hooks->endDoc)>(find("DrvSplEndDoc"));
  hooks->abort = reinterpret_cast<decltype(hooks->abort)>(find("DrvSplAbort"));
  hooks->close = reinterpret_cast<decltype(hooks->close)>(find("DrvSplClose"));
  return hooks->startDoc && hooks->writePrinter && hooks->startPage && hooks->endPage && hooks->endDoc &&
         hooks->abort && hooks->close;
}

// The result of one hook call, for event logs.
struct HookResult {
  const char* hook = "";
  bool hasResult = false;
  long long result = 0;  // BOOL, or the handle's non-null-ness for DrvSplStartDoc
  bool hasWritten = false;
  DWORD written = 0;
  bool handleNull = false;  // DrvSplStartDoc only
};

// One job's calls of the hooks, in the spooler's order, each one recorded.
class HookedJob {
 public:
  // Whether the spooler plays the job on. Once the user has cancelled it,
  // the spooler plays none of its data: the driver hears of the cancel once
  // (DrvSplAbort, unless the document has ended already), and the job is
  // then ended and closed as every job.
  bool goesOn(bool cancelled) {
    if (!cancelled || !job_) return true;
    if (!aborted_ && !ended_) abort();
    return false;
  }
  // DrvSplStartDoc; false when the component refused the job.
  bool startDoc(const SpoolerHooks& hooks, HANDLE printer, DWORD jobId) {
    hooks_ = hooks;
    job_ = hooks_.startDoc(printer, jobId);
    HookResult r{"DrvSplStartDoc", true, job_ != nullptr};
    r.handleNull = job_ == nullptr;
    note(r);
    return job_ != nullptr;
  }
  BOOL write(const void* data, DWORD size, DWORD* written) {
    DWORD count = 0;
    BOOL r = hooks_.writePrinter(job_, const_cast<void*>(data), size, &count);
    if (written) *written = count;
    note(HookResult{"DrvSplWritePrinter", true, r, true, count});
    return r;
  }
  BOOL startPage() { return record("DrvSplStartPage", hooks_.startPage(job_)); }
  BOOL endPage() { return record("DrvSplEndPage", hooks_.endPage(job_)); }
  void endDoc() {
    hooks_.endDoc(job_);
    ended_ = true;
    note(HookResult{"DrvSplEndDoc"});
  }
  void abort() {
    hooks_.abort(job_);
    aborted_ = true;
    note(HookResult{"DrvSplAbort"});
  }
  // The spooler lets go of the job: the handle is no longer the component's.
  void close() {
    hooks_.close(job_);
    job_ = nullptr;
    note(HookResult{"DrvSplClose"});
  }
  bool started() const { return job_ != nullptr; }
  const HookResult& last() const { return last_; }
  // The results of the hooks called since the last take, in order: one
  // call of the spooler's may make two (DrvSplAbort before the end of a
  // cancelled job), or none (the data of a cancelled job).
  std::vector<HookResult> takeResults() { return std::exchange(recent_, {}); }

 private:
  BOOL record(const char* hook, BOOL result) {
    note(HookResult{hook, true, result});
    return result;
  }
  void note(const HookResult& r) {
    last_ = r;
    recent_.push_back(r);
  }

  SpoolerHooks hooks_{};
  HANDLE job_ = nullptr;
  HookResult last_{"DrvSplStartDoc"};  // before the first call: not called
  std::vector<HookResult> recent_;
  bool aborted_ = false, ended_ = false;
};

}  // namespace winsim
