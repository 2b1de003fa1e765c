#include "jobkit/report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "event_json.h"
#include "jobkit/syntax.h"
#include "jobkit/text.h"
#include "pclxl/checker.h"

namespace jobkit {

std::string jsonString(std::u16string_view text) { return winsim::JsonString(utf8Of(text)); }

void RunReport::event(const std::string& json) {
  for (auto* o : outs_) *o << json << "\n";
}

// The hooks and traces come thousands of times a job: their lines are put
// together in one buffer and written whole.
void RunReport::writeLine() {
  line_ += "}\n";
  auto size = static_cast<std::streamsize>(line_.size());
  for (auto* o : outs_)  // straight to the buffer: a stream's write checks its state on every call
    if (o->rdbuf()->sputn(line_.data(), size) != size) o->setstate(std::ios::badbit);
}

void RunReport::hook(const HookResult& h) {
  bool startDoc = std::strcmp(h.hook, "DrvSplStartDoc") == 0;
  line_.assign("{\"event\":\"hook\",\"hook\":\"").append(h.hook).append("\"");
  if (startDoc) line_.append(",\"result\":").append(h.handleNull ? "null" : "\"handle\"");
  else if (h.hasResult) line_.append(",\"result\":").append(std::to_string(h.result));
  if (h.hasWritten) line_.append(",\"written\":").append(std::to_string(h.written));
  writeLine();
  bool failed = startDoc ? h.handleNull : (h.hasResult && h.result == 0);
  if (!failed) return;
  if (failedHook_ != h.hook) foldHookFailures();
  failedHook_ = h.hook;
  ++failures_;
}

// Failures of one hook in a row are one line.
void RunReport::foldHookFailures() {
  if (failures_ == 0) return;
  std::string line = "failed hook: " + failedHook_;
  if (failures_ > 1) line += " (" + std::to_string(failures_) + " times)";
  failures_ = 0;
  summarise(line);
}

namespace {

// The component's sentences that say why a job lost something or was
// refused, or what it did instead: a capital letter or a settings field
// first and a full stop last, unlike its hook names, page index dumps and
// record listings.
bool explains(std::u16string_view text) {
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.remove_suffix(1);
  if (text.empty() || text.back() != u'.' || text.rfind(u"KQXLUMPD: ", 0) == 0) return false;
  return (text[0] >= u'A' && text[0] <= u'Z') || text[0] == u'w';
}

}  // namespace

void PrinterVerdict::feed(const void* bytes, size_t size) {
  bytes_ += size;
  if (!broken_) broken_ = !tokenizer_.feed(static_cast<const uint8_t*>(bytes), size);
}

// Its pages, or its first problem.
const std::string& PrinterVerdict::text() {
  if (text_) return *text_;
  if (!broken_) tokenizer_.finish();
  checker_.finish(tokenizer_.offset(), tokenizer_.error());
  if (bytes_ == 0) {
    text_ = "empty";
  } else if (!checker_.problems().empty()) {
    auto& p = checker_.problems().front();
    text_ = "NOT WELL FORMED at byte " + std::to_string(p.offset) + ": " + p.message;
  } else if (checker_.summary().pages == 0) {
    text_ = "NOT WELL FORMED: no PCL XL page in it";
  } else {
    text_ = std::to_string(checker_.summary().pages) + " pages, well formed";
  }
  return *text_;
}

std::string verdictOfFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "";
  PrinterVerdict verdict;
  std::vector<char> buffer(64 * 1024);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
    verdict.feed(buffer.data(), static_cast<size_t>(in.gcount()));
  return verdict.text();
}

void RunReport::trace(std::u16string_view text) {
  line_.assign("{\"event\":\"trace\",\"text\":");
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; })) {
    winsim::AppendJsonChars(line_, text);  // as ASCII, its UTF-8 is the same
  } else {
    winsim::AppendJsonString(line_, utf8Of(text));
  }
  writeLine();
  if (explains(text)) {
    std::string said = utf8Of(text);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    summarise("trace: " + said);
  }
}

void RunReport::messageBox(std::u16string_view text, const std::optional<std::u16string>& caption, UINT style,
                           int answer) {
  event("{\"event\":\"messagebox\",\"text\":" + jsonString(text) +
        ",\"caption\":" + (caption ? jsonString(*caption) : std::string("null")) +
        ",\"style\":" + std::to_string(style) + ",\"answer\":\"" + answerName(answer) + "\"}");
  summarise("message box: \"" + utf8Of(text) + "\" answered " + answerName(answer));
}

void RunReport::document(int number, std::u16string_view name, uint64_t bytes, const std::string& file, bool cancelled,
                         const std::optional<std::string>& verdict) {
  event("{\"event\":\"document\",\"number\":" + std::to_string(number) + ",\"name\":" + jsonString(name) +
        ",\"bytes\":" + std::to_string(bytes) + ",\"file\":" +
        (file.empty() ? std::string("null") : jsonString(utf16Of(file))) + (cancelled ? ",\"cancelled\":true}" : "}"));
  std::string line =
      "document " + std::to_string(number) + " \"" + utf8Of(name) + "\": " + std::to_string(bytes) + " bytes";
  // The port's documents are files of their own in the folder; the
  // internal watermark job's is the file the component named.
  bool port = !file.empty() && file.find_first_of(":\\") == std::string::npos;
  if (!port && !file.empty()) line += ", the internal watermark job's file " + file;
  if (port) line += " in " + file;
  std::string judged = verdict                            ? *verdict
                       : port && !documentFolder_.empty() ? verdictOfFile(documentFolder_ / file)
                                                          : "";
  if (port && !judged.empty()) line += ": " + judged;
  if (cancelled) line += " (its job was cancelled: what it holds is what reached the port before)";
  summarise(line);
}

void RunReport::job(const JobSummary& j) {
  std::string fields;
  for (auto& [name, value] : j.settings)
    fields += (fields.empty() ? "" : ",") + jsonString(utf16Of(name)) + ":" + jsonString(utf16Of(value));
  event("{\"event\":\"job\",\"document\":" + jsonString(utf16Of(j.document)) + ",\"pages\":" + std::to_string(j.pages) +
        ",\"settings\":{" + fields + "}}");
}

void RunReport::leak(const std::string& kind, const std::string& what) {
  event("{\"event\":\"leak\",\"kind\":" + jsonString(utf16Of(kind)) + ",\"what\":" + jsonString(utf16Of(what)) + "}");
  summarise("left behind: " + kind + " " + what);
}

// One insertion of the whole line: reports on several threads that share a
// stream interleave whole lines (stdio locks the stream for each write).
void RunReport::summarise(const std::string& line) {
  if (failures_ && line.rfind("failed hook: ", 0) != 0) foldHookFailures();
  summary_ << (scriptName_.empty() ? "" : scriptName_ + ": ") + line + "\n";
}

void RunReport::finish() {
  foldHookFailures();
  for (auto* o : outs_) o->flush();
  summary_.flush();
}

}  // namespace jobkit
