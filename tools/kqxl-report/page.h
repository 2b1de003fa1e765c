// What kqxl-report shows of a run: each script's log, and for each port
// document what the checker and the printer made of it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "events.h"

namespace report {

struct PrintedDocument {
  const PortDocument* port = nullptr;
  fs::path file;
  bool readable = false;
  int pages = 0;                      // BeginPage commands the checker saw
  std::vector<std::string> problems;  // the checker's
  std::string verdict;                // the interpreter's, empty when none printed it
  bool printed = false;               // the interpreter printed it without complaint
  std::vector<std::string> images;    // PNG bytes, one a printed page
  std::vector<std::string> labels;    // what each printed page is, where that is known
};

struct ScriptReport {
  std::string name;
  RunLog log;
  std::vector<std::vector<PrintedDocument>> documents;  // per job of the log
};

struct Page {
  std::vector<ScriptReport> scripts;
  std::string interpreter;  // where pages were printed, or empty
  std::string noPages;      // why no pages are shown
};

std::string html(const Page& page);

}  // namespace report
