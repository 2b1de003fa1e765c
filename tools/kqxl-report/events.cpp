#include "events.h"

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

namespace report {

namespace {

using nlohmann::json;

// A member as text: a string as it is, a number as written, true as
// "true"; "" for anything else or nothing.
std::string str(const json& e, const char* key) {
  auto it = e.find(key);
  if (it == e.end()) return "";
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number()) return it->dump();
  if (it->is_boolean()) return it->get<bool>() ? "true" : "";
  return "";
}

Job& current(RunLog* log) {
  if (log->jobs.empty()) log->jobs.emplace_back();
  return log->jobs.back();
}

void take(const json& e, RunLog* log) {
  std::string kind = str(e, "event");
  if (kind == "hook") {
    std::string hook = str(e, "hook");
    if (hook == "DrvSplStartDoc") log->jobs.emplace_back();
    auto result = e.find("result");
    current(log).hooks.emplace_back(hook, result == e.end() ? "" : result->is_null() ? "null" : str(e, "result"));
  } else if (kind == "job") {
    Job& j = current(log);
    j.document = str(e, "document");
    j.pages = std::atoi(str(e, "pages").c_str());
    j.summarised = true;
    if (auto s = e.find("settings"); s != e.end() && s->is_object())
      for (auto& [field, value] : s->items())
        j.settings.emplace_back(field, value.is_string() ? value.get<std::string>() : value.dump());
  } else if (kind == "messagebox") {
    current(log).boxes.push_back(
        {str(e, "text"), str(e, "caption"), str(e, "answer"), std::atoll(str(e, "style").c_str())});
  } else if (kind == "trace") {
    current(log).traces.push_back(str(e, "text"));
  } else if (kind == "document") {
    current(log).documents.push_back({std::atoi(str(e, "number").c_str()), str(e, "name"), str(e, "file"),
                                      std::atoll(str(e, "bytes").c_str()), str(e, "cancelled") == "true"});
  } else if (kind == "leak") {
    log->leaks.push_back(str(e, "kind") + " " + str(e, "what"));
  }
}

}  // namespace

bool readRunLog(const fs::path& events, RunLog* log) {
  std::ifstream in(events, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    json e = json::parse(line, nullptr, false);  // no exceptions: a line that is no JSON is discarded
    if (e.is_discarded() || !e.is_object()) {
      log->unreadLines.push_back(line);
      continue;
    }
    take(e, log);
  }
  return true;
}

}  // namespace report
