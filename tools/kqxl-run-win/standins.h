// The runner's stand-ins for what a Windows machine without the printer
// cannot provide: the print spooler's client calls the component imports
// (printers, printer data, jobs, documents), message boxes answered from the
// script, the trace log; and the bookkeeping of what the component holds
// (memory blocks, files, modules) to report what it leaves behind.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "imports.h"
#include "job_cancel.h"
#include "spooler_records.h"

namespace kqxlwin {

namespace fs = std::filesystem;

struct Printer : winsim::PrinterNames {
  std::map<std::u16string, std::vector<uint8_t>> data;  // printer data values
};

// Where the stand-ins report what happened, in the order it happened.
class Listener {
 public:
  virtual ~Listener() = default;
  virtual void trace(const std::u16string& text) = 0;
  virtual void messageBox(const std::u16string& text, const std::optional<std::u16string>& caption, UINT style,
                          int answer) = 0;
  virtual void documentDone(int number, const std::u16string& name, uint64_t bytes, const std::string& file,
                            bool cancelled) = 0;
};

// Set-up of the stand-ins, before and between jobs.
void SetListener(Listener* listener);
// Documents go to DIR\doc-N.prn, or to standard output when DIR is empty
// (nowhere when that is a console).
void SetDocumentFolder(const fs::path& dir);
Printer& PrinterNamed(const std::u16string& name);  // made like the default one when new
const Printer* FindPrinter(const std::u16string& name);
void QueueAnswers(const std::vector<int>& answers);

// The spooler's side of a job: a printer handle, the job's number (0 takes
// the next free one) and its first document, to `output` when it names a
// file.
HANDLE OpenPrinterHandle(const std::u16string& printer);
void ClosePrinterHandle(HANDLE printer);  // ends its open document
DWORD StartJob(HANDLE printer, DWORD id, const std::u16string& document, const std::u16string& output = {});
// The user cancels the printer handle's current job from the queue, at the
// point the plan names: its writes and new
// documents are refused (ERROR_PRINT_CANCELLED) from then on, and GetJobW
// reports it JOB_STATUS_DELETING, as on the simulated machine.
void CancelJob(HANDLE printer, const winsim::CancelPlan& plan);
bool IsCancelled(HANDLE printer);

// The imports of the component (and of the modules it loads) that reach a
// stand-in instead of Windows.
const Redirect* Redirects(size_t* count);

// What the component and its modules hold now ("block", "handle",
// "module"), as (kind, what).
std::vector<std::pair<std::string, std::string>> Holdings();

// Traces from anywhere: the stand-in of OutputDebugStringW and the catcher
// of traces raised before the imports were routed.
void Trace(const std::u16string& text);

}  // namespace kqxlwin
