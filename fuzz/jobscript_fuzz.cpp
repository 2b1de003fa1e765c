// libFuzzer target: the job script reader and the settings builder on
// arbitrary text: every directive parsed and checked as a whole script is
// before it plays, its numbers, hexadecimal bytes and answers read, its
// settings assignments built into a record and warned of in code pages of
// one and two bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jobkit/player.h"
#include "jobkit/settings.h"
#include "jobkit/syntax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<jobkit::Directive> script;
  jobkit::ScriptError error;
  if (!jobkit::parseScript(text, &script, &error)) return 0;
  (void)jobkit::documentKind(text);
  jobkit::SettingsBuilder settings;
  settings.reset();
  jobkit::ScriptCheck check("/nonexistent/kqxl-fuzz");  // no host file is there
  for (auto& d : script) {
    std::string message, bytes;
    check.directive(d, &message);
    std::vector<int> answers;
    long long n = 0;
    for (auto& t : d.args) jobkit::number(t, &n, &message);
    jobkit::hexBytes(d.args, 0, &bytes, &message);
    jobkit::answerIds(d.args, &answers, &message);
    for (auto& id : answers) (void)jobkit::answerName(id);
    if (d.verb == "settings")
      for (auto& t : d.args)
        if (!t.key.empty()) settings.set(t.key, t.value, t.quoted, &message);
  }
  for (UINT codePage : {1252u, 932u, 1258u}) (void)settings.warnings(codePage);
  auto record = settings.build(u"KQ PCL6 Laser", 1252);
  return record.size() == 1625 ? 0 : (__builtin_trap(), 0);
}
