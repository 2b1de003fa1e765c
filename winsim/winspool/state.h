// The spooler's part of the machine: printers, their handles, jobs and
// documents, and where each document's bytes go.
#pragma once

#include <thread>

#include "core/state.h"
#include "job_cancel.h"

namespace winsim::detail {

struct PrinterHandle {
  std::u16string printer;
  int document = 0;         // current document number, 0 for none
  std::vector<DWORD> jobs;  // the jobs started on it, forgotten when it closes; the last is its current job
  bool cancelled = false;   // its current job was cancelled: no more writes, no new document
};

struct SpoolerJobEntry {
  std::u16string printer, document;
  bool deleting = false;  // cancelled, and the spooler not yet done with it
};

// A cancel a job script or a test armed: for the current job of a printer
// handle, at the point its plan names, told of that handle's writes and
// document ends and of message boxes on the thread that armed it.
struct CancelRule {
  HANDLE printer;
  std::thread::id thread;
  CancelTrigger trigger;
};

struct OpenDocument {
  std::unique_ptr<DocumentSink> sink;
  DocumentRecord record;
  bool failed = false;
};

struct WinspoolState final : DllPart {
  static constexpr Dll kDll = Dll::Winspool;

  std::vector<PrinterConfig> printers;
  std::map<uintptr_t, PrinterHandle> printerHandles;
  uintptr_t nextPrinter = 1;
  std::map<DWORD, SpoolerJobEntry> jobs;
  DWORD nextJobId = 1;
  int documentCount = 0;
  std::vector<DocumentRecord> documents;  // finished, while the history is kept
  std::map<int, OpenDocument> openDocuments;
  SinkFactory sinkFactory;
  std::vector<CancelRule> cancelRules;

  void start(State& s) override;  // printers.ini
  void shutdown(State& s) override;
};

inline WinspoolState& winspool(State& s) { return part<WinspoolState>(s); }
inline const WinspoolState& winspool(const State& s) { return part<WinspoolState>(s); }

}  // namespace winsim::detail
