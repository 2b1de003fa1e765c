// kqxl-mkjob: writes the job script with which the driver's rendering side
// would send a PCL XL document for the given settings.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "jobkit/mkjob.h"

namespace {

const char kUsage[] =
    "usage: kqxl-mkjob [--chunk N] [-o JOB] [settings FIELD=VALUE ...] DOCUMENT.pxl\n"
    "Writes a job script for kqxl-run that sends DOCUMENT as the rendering side would for those\n"
    "settings (field names as in a job script's settings). Pages are byte ranges of DOCUMENT in\n"
    "buffers of N bytes (default 4096). With -o the script goes to JOB and names DOCUMENT relative\n"
    "to it; otherwise it goes to standard output and names DOCUMENT as given.\n";

// Settings that make a job print nothing useful, said before the job is
// made: a watermark without a size (0 points) or without a text.
void warnOfUselessSettings(const std::vector<std::string>& settings) {
  auto value = [&](const std::string& field) {
    std::string found;
    for (auto& s : settings)
      if (s.rfind(field + "=", 0) == 0) found = s.substr(field.size() + 1);
    return found;
  };
  if (value("wWatermark") != "1") return;
  std::string size = value("wWatermarkSize");
  if (size.empty() || std::strtol(size.c_str(), nullptr, 0) <= 0)
    std::cerr << "kqxl-mkjob: warning: the watermark has no size (wWatermarkSize, in points): it prints a speck; "
                 "wWatermarkSize=72 is an inch high\n";
  if (value("szWatermarkText").empty())
    std::cerr << "kqxl-mkjob: warning: the watermark has no text (szWatermarkText)\n";
}

}  // namespace

int main(int argc, char** argv) {
  jobkit::MakeJobOptions options;
  std::filesystem::path document, out;
  bool inSettings = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-h" || a == "--help") return std::cout << kUsage, 0;
    if (a == "--chunk" && i + 1 < argc) {
      options.chunk = static_cast<size_t>(std::strtoul(argv[++i], nullptr, 10));
      if (options.chunk == 0) return std::cerr << "kqxl-mkjob: --chunk needs a positive number\n", 2;
    } else if (a == "-o" && i + 1 < argc) {
      out = argv[++i];
    } else if (a == "settings") {
      inSettings = true;
    } else if (inSettings && a.find('=') != std::string::npos) {
      options.settings.push_back(a);
    } else if (document.empty()) {
      document = a;
      inSettings = false;
    } else {
      return std::cerr << kUsage, 2;
    }
  }
  if (document.empty()) return std::cerr << kUsage, 2;
  if (!out.empty()) {
    std::filesystem::path base = std::filesystem::absolute(out).parent_path();
    options.documentRef = std::filesystem::relative(std::filesystem::absolute(document), base).string();
  }
  warnOfUselessSettings(options.settings);
  std::string script, error;
  if (!jobkit::makeJob(document, options, &script, &error)) return std::cerr << "kqxl-mkjob: " << error << "\n", 1;
  if (out.empty()) {
    std::cout << script;
  } else {
    std::ofstream file(out, std::ios::binary);
    file << script;
    if (!file) return std::cerr << "kqxl-mkjob: cannot write " << out << "\n", 1;
  }
  return 0;
}
