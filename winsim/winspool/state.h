// The spooler's part of the machine: printers, their handles, jobs and
// documents, and where each document's bytes go.
#pragma once

#include "core/state.h"

namespace winsim::detail {

struct PrinterHandle {
  std::u16string printer;
  int document = 0;         // current document number, 0 for none
  std::vector<DWORD> jobs;  // the jobs started on it, forgotten when it closes
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
  std::map<DWORD, std::pair<std::u16string, std::u16string>> jobs;  // id -> printer, document
  DWORD nextJobId = 1;
  int documentCount = 0;
  std::vector<DocumentRecord> documents;  // finished, while the history is kept
  std::map<int, OpenDocument> openDocuments;
  SinkFactory sinkFactory;

  void start(State& s) override;  // printers.ini
  void shutdown(State& s) override;
};

inline WinspoolState& winspool(State& s) { return part<WinspoolState>(s); }
inline const WinspoolState& winspool(const State& s) { return part<WinspoolState>(s); }

}  // namespace winsim::detail
