// A job the user cancels from the print queue (SetJob with
// JOB_CONTROL_DELETE), as a job script or a test asks for it: when it
// happens, and what the spooler does with the job afterwards. Shared by the
// simulated machine's spooler and kqxl-run.exe's, so that both cancel alike;
// self-contained but for the platform's <windows.h> and <winspool.h>.
#pragma once

#include <windows.h>
#include <winspool.h>

namespace winsim {

// When the cancel comes: at once; after the job's Nth printer write from
// now (inside a replay, say); while the job's next message box is up; or as
// the job's spooler document ends (between the two documents of a manual
// duplex).
enum class CancelPoint { Now, AfterWrites, AtBox, AtDocumentEnd };

struct CancelPlan {
  CancelPoint point = CancelPoint::Now;
  int writes = 0;  // AfterWrites: how many writes go through first
};

// One armed plan, told of the job's events; it says, once, when the job is
// to be cancelled.
class CancelTrigger {
 public:
  explicit CancelTrigger(CancelPlan plan) : plan_(plan) {}
  // After a printer write of the job went through.
  bool wrote() { return fire(plan_.point == CancelPoint::AfterWrites && ++seen_ >= plan_.writes); }
  // While a message box of the job is up.
  bool boxUp() { return fire(plan_.point == CancelPoint::AtBox); }
  // As one of the job's spooler documents ended.
  bool documentEnded() { return fire(plan_.point == CancelPoint::AtDocumentEnd); }
  bool spent() const { return spent_; }

 private:
  bool fire(bool due) {
    if (spent_ || !due) return false;
    spent_ = true;
    return true;
  }

  CancelPlan plan_;
  int seen_ = 0;
  bool spent_ = false;
};

// What a cancel does to the spooler's side of the job, whichever thread it
// came from: the job's printer handle refuses further writes and documents
// with ERROR_PRINT_CANCELLED (EndDocPrinter still ends the open document,
// whose bytes so far stay sent), and GetJobW reports the job as being
// deleted until the spooler lets go of it.
constexpr DWORD kCancelledJobStatus = JOB_STATUS_DELETING;

}  // namespace winsim
