// The API log lines of a test machine, kept as its jobs run.
#pragma once

#include <regex>
#include <string>
#include <vector>

#include "support/test_machine.h"

namespace test {

// Logs while it lives: the machine's observer is its own until then.
struct ApiLog {
  std::vector<std::string> lines;
  explicit ApiLog(TestMachine& m) : machine(m) {
    winsim::Observer o;
    o.api = [this](const std::string& line) { lines.push_back(line); };
    m->setObserver(o);
    m->setLogApi(true);
  }
  ~ApiLog() {
    machine->setLogApi(false);
    machine->setObserver({});
  }
  ApiLog(const ApiLog&) = delete;
  ApiLog& operator=(const ApiLog&) = delete;
  std::vector<std::string> calls(const std::string& function) const {
    std::vector<std::string> r;
    for (auto& l : lines)
      if (l.find("\"function\":\"" + function + "\"") != std::string::npos) r.push_back(l);
    return r;
  }
  // Lines that mention the text (a path as the log writes it, say).
  std::vector<std::string> naming(const std::string& text) const {
    std::vector<std::string> r;
    for (auto& l : lines)
      if (l.find(text) != std::string::npos) r.push_back(l);
    return r;
  }
  static long long number(const std::string& line, const std::string& key) {
    std::smatch m;
    std::regex re("\"" + key + "\":(-?[0-9]+)");
    return std::regex_search(line, m, re) ? std::stoll(m[1]) : -999999;
  }
  TestMachine& machine;
};

}  // namespace test
