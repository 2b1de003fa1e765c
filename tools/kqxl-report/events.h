// A run's event log (events.jsonl of kqxl-run -o DIR) read back into what a
// person asks of it: the jobs in order, each with its settings, hook
// results, message boxes, traces and port documents.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace report {

namespace fs = std::filesystem;

struct Box {
  std::string text, caption, answer;
  long long style = 0;
};

struct PortDocument {
  int number = 0;
  std::string name, file;  // file: beside the log, empty when the bytes went elsewhere
  long long bytes = 0;
  bool cancelled = false;  // its job was cancelled while it was open
};

struct Job {
  std::string document;  // as the script named it
  std::vector<std::pair<std::string, std::string>> settings;
  int pages = 0;  // page-start markers sent; 0 for a job printed as it came
  bool summarised = false;
  std::vector<std::pair<std::string, std::string>> hooks;  // hook, result ("1", "0", "handle", "null")
  std::vector<Box> boxes;
  std::vector<std::string> traces;
  std::vector<PortDocument> documents;
};

struct RunLog {
  std::vector<Job> jobs;  // what came before the first job is a job of its own, without a document name
  std::vector<std::string> leaks;
  std::vector<std::string> unreadLines;  // lines that were no event
};

// False when the file cannot be read.
bool readRunLog(const fs::path& events, RunLog* log);

}  // namespace report
