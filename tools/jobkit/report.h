// What a runner reports of a played script: the event log (JSON Lines, in
// order) and the summary for standard error. One format for the runners of
// every platform, so that their logs compare line by line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "jobkit/host.h"
#include "pclxl/checker.h"

namespace jobkit {

// What a printer makes of a port document, judged as its bytes pass: the
// document is read once, by the port, not again for the verdict.
class PrinterVerdict {
 public:
  PrinterVerdict() = default;
  PrinterVerdict(const PrinterVerdict&) = delete;
  PrinterVerdict& operator=(const PrinterVerdict&) = delete;

  void feed(const void* bytes, size_t size);
  // "empty", "N pages, well formed" or "NOT WELL FORMED ...": the end of
  // the document, once; later calls give the same text.
  const std::string& text();

 private:
  pclxl::Checker checker_;
  pclxl::Tokenizer tokenizer_{checker_};
  uint64_t bytes_ = 0;
  bool broken_ = false;  // the tokenizer stopped: the rest is not read
  std::optional<std::string> text_;
};

// The verdict on a document in a file ("" when it cannot be read).
std::string verdictOfFile(const std::filesystem::path& file);

// A JSON string literal of the text (UTF-8).
std::string jsonString(std::u16string_view text);

class RunReport {
 public:
  // Summary lines go to `summary` as they happen (a long run keeps none),
  // whole lines even when several reports share it.
  explicit RunReport(std::ostream& summary) : summary_(summary) {}

  // With several scripts, each summary line names its script.
  void setScriptName(std::string name) { scriptName_ = std::move(name); }
  // Where the documents' files are: each document's line then says what a
  // printer makes of it.
  void setDocumentFolder(std::filesystem::path folder) { documentFolder_ = std::move(folder); }

  // Event lines go to every stream added.
  void addEventStream(std::ostream* out) { outs_.push_back(out); }

  void hook(const HookResult& h);
  void trace(std::u16string_view text);
  void messageBox(std::u16string_view text, const std::optional<std::u16string>& caption, UINT style, int answer);
  // `cancelled`: the user cancelled its job while it was open. `verdict`:
  // what a printer makes of it, when the runner judged it as it was
  // written; otherwise a port document in the document folder is read.
  void document(int number, std::u16string_view name, uint64_t bytes, const std::string& file, bool cancelled = false,
                const std::optional<std::string>& verdict = std::nullopt);
  void leak(const std::string& kind, const std::string& what);  // UTF-8
  // A job as the script asked for it, before its documents end.
  void job(const JobSummary& job);
  // A line of its own (the simulated machine's API log).
  void event(const std::string& json);

  // Flushes the events and the summary.
  void finish();

 private:
  std::vector<std::ostream*> outs_;
  std::string line_;  // the hook or trace line being written
  void writeLine();
  void summarise(const std::string& line);

  void foldHookFailures();

  std::ostream& summary_;
  std::string scriptName_;
  std::filesystem::path documentFolder_;
  std::string failedHook_;  // the hook whose failures are being counted
  int failures_ = 0;
};

}  // namespace jobkit
