#include "jobkit/report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "event_json.h"
#include "jobkit/syntax.h"
#include "jobkit/text.h"

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
  if (failed) summarise(std::string("failed hook: ") + h.hook);
}

void RunReport::trace(std::u16string_view text) {
  line_.assign("{\"event\":\"trace\",\"text\":");
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; })) {
    winsim::AppendJsonChars(line_, text);  // as ASCII, its UTF-8 is the same
  } else {
    winsim::AppendJsonString(line_, utf8Of(text));
  }
  writeLine();
}

void RunReport::messageBox(std::u16string_view text, const std::optional<std::u16string>& caption, UINT style,
                           int answer) {
  event("{\"event\":\"messagebox\",\"text\":" + jsonString(text) +
        ",\"caption\":" + (caption ? jsonString(*caption) : std::string("null")) +
        ",\"style\":" + std::to_string(style) + ",\"answer\":\"" + answerName(answer) + "\"}");
  summarise("message box: \"" + utf8Of(text) + "\" answered " + answerName(answer));
}

void RunReport::document(int number, std::u16string_view name, uint64_t bytes, const std::string& file) {
  event("{\"event\":\"document\",\"number\":" + std::to_string(number) + ",\"name\":" + jsonString(name) +
        ",\"bytes\":" + std::to_string(bytes) +
        ",\"file\":" + (file.empty() ? std::string("null") : jsonString(utf16Of(file))) + "}");
  summarise("document " + std::to_string(number) + " \"" + utf8Of(name) + "\": " + std::to_string(bytes) + " bytes" +
            (file.empty() ? "" : " in " + file));
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
void RunReport::summarise(const std::string& line) { summary_ << line + "\n"; }

void RunReport::finish() {
  for (auto* o : outs_) o->flush();
  summary_.flush();
}

}  // namespace jobkit
