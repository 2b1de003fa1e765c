// The spooler's part of the machine: printers, their handles, jobs and
// documents, and where each document's bytes go.
#pragma once

#include <optional>
#include <shared_mutex>
#include <thread>

#include "core/handle_table.h"
#include "core/state.h"
#include "job_cancel.h"

namespace winsim::detail {

struct OpenDocument {
  int number = 0;
  std::unique_ptr<DocumentSink> sink;
  DocumentRecord record;
};

// A printer handle, locked by whatever uses it: its document's bytes reach
// the port in the order its writes came.
struct PrinterHandle {
  std::mutex mu;
  std::u16string printer;
  std::optional<OpenDocument> document;  // the current document
  std::vector<DWORD> jobs;  // the jobs started on it, forgotten when it closes; the last is its current job
  bool cancelled = false;   // its current job was cancelled: no more writes, no new document
};

struct SpoolerJobEntry {
  std::u16string printer, document;
  HANDLE handle = nullptr;  // the printer handle it was started on
  bool deleting = false;    // cancelled, and the spooler not yet done with it
};

// A cancel a job script or a test armed: for the current job of a printer
// handle, at the point its plan names, told of that handle's writes and
// document ends and of message boxes on the thread that armed it.
struct CancelRule {
  HANDLE printer;
  std::thread::id thread;
  CancelTrigger trigger;
};

struct WinspoolState final : DllPart {
  static constexpr Dll kDll = Dll::Winspool;

  std::shared_mutex printersMu;  // set by hosts, read by every job
  std::vector<PrinterConfig> printers;

  HandleTable<PrinterHandle> printerHandles{0x5000, 4};

  QuietMutex jobsMu;
  std::map<DWORD, SpoolerJobEntry> jobs;
  DWORD nextJobId = 1;

  std::atomic<int> documentCount{0};
  mutable QuietMutex documentsMu;
  std::vector<DocumentRecord> documents;  // finished, while the history is kept

  QuietMutex cancelMu;
  std::vector<CancelRule> cancelRules;

  SinkFactory sinkFactory;  // set while no job plays

  void start(State& s) override;  // printers.ini
  void shutdown(State& s) override;
};

inline WinspoolState& winspool(State& s) { return part<WinspoolState>(s); }
inline const WinspoolState& winspool(const State& s) { return part<WinspoolState>(s); }

}  // namespace winsim::detail
