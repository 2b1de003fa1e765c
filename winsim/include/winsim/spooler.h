// The simulated print spooler's side of a job: it opens the printer, starts
// the job's document, loads the printer driver's spooler component as
// Windows does and calls its seven hooks.
#pragma once

#include <winsim/machine.h>

#include "job_cancel.h"
#include "spooler_hooks.h"

#include <string>
#include <string_view>

namespace winsim {

class PrintJob {
 public:
  // With an output file, the job's document goes there instead of the port.
  PrintJob(std::u16string_view printer, DWORD jobId, std::u16string_view document,
           std::u16string_view outputFile = u"");
  ~PrintJob();  // closes the job (DrvSplClose) if the spooler still holds it
  PrintJob(const PrintJob&) = delete;
  PrintJob& operator=(const PrintJob&) = delete;

  // DrvSplStartDoc. False when the component refused the job (or could not
  // be loaded); the other hooks are then not called.
  bool startDoc();
  BOOL write(const void* data, DWORD size, DWORD* written);
  BOOL startPage();
  BOOL endPage();
  void endDoc();
  void abort();
  void close();
  // The user cancels the job's current spooler job from the queue, on a
  // thread of their own, at the point the plan names (at once by default).
  // From then on the job's writes and new documents are refused, and this
  // spooler plays none of its data: the component hears DrvSplAbort once,
  // then only DrvSplEndDoc and DrvSplClose.
  void cancel(CancelPlan plan = {});

  bool started() const { return calls_.started(); }
  std::vector<HookResult> takeResults() { return calls_.takeResults(); }
  DWORD jobId() const { return jobId_; }
  HANDLE printerHandle() const { return printer_; }
  const HookResult& last() const { return calls_.last(); }
  const std::string& error() const { return error_; }  // why startDoc could not call the hook

 private:
  std::u16string printerName_;
  std::u16string document_;
  std::u16string outputFile_;
  DWORD jobId_;
  HANDLE printer_ = nullptr;
  HookedJob calls_;
  std::string error_;
};

// The spooler's printer handles, for hosts that drive printers directly.
HANDLE OpenPrinterHandle(std::u16string_view printer);
bool ClosePrinterHandle(HANDLE printer);  // false for a handle that is no printer's

// The queue's user deletes a job (SetJob with JOB_CONTROL_DELETE), from any
// thread: the job's printer handle refuses further writes and documents
// with ERROR_PRINT_CANCELLED, and GetJobW reports it JOB_STATUS_DELETING.
// False when the spooler has no such job.
bool CancelJob(DWORD jobId);
// Whether the current job of a printer handle was cancelled.
bool IsCancelled(HANDLE printer);

}  // namespace winsim
