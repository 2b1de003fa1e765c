// libFuzzer target: the job script reader and the settings builder on
// arbitrary text: every directive parsed, its numbers, hexadecimal bytes and
// answers read, its settings assignments built into a record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jobkit/settings.h"
#include "jobkit/syntax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<jobkit::Directive> script;
  jobkit::ScriptError error;
  if (!jobkit::parseScript(text, &script, &error)) return 0;
  jobkit::SettingsBuilder settings;
  settings.reset();
  for (auto& d : script) {
    std::string message, bytes;
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
  auto record = settings.build(u"KQ PCL6 Laser", 1252);
  return record.size() == 1625 ? 0 : (__builtin_trap(), 0);
}
