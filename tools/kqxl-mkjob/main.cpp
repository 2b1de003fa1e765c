// kqxl-mkjob: writes the job script with which the driver's rendering side
// would send a PCL XL document for the given settings.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "jobkit/mkjob.h"
#include "jobkit/runner.h"
#include "jobkit/settings.h"

namespace {

const char kUsage[] =
    "usage: kqxl-mkjob [--chunk N] [--codepage N [--locale LANGID]] [-o JOB] [settings FIELD=VALUE ...]\n"
    "                  DOCUMENT.pxl\n"
    "Writes a job script for kqxl-run that sends DOCUMENT as the rendering side would for those\n"
    "settings (field names as in a job script's settings, below). Pages are byte ranges of DOCUMENT\n"
    "in buffers of N bytes (default 4096). With -o the script goes to JOB and names DOCUMENT relative\n"
    "to it; otherwise it goes to standard output and names DOCUMENT as given.\n"
    "\n"
    "The watermark's text and face and the user id are ANSI text in the machine's code page. The\n"
    "script sets the code page --codepage names (and the user locale: --locale, else the code page's\n"
    "own); without it, the first code page below that holds the settings' text, said on the terminal\n"
    "(none when 1252 does).\n"
    "\n"
    "Exit status: 0 when the script is written; 1 when the document cannot be read or the script\n"
    "written; 2 for a usage error or a bad setting. --version prints the tools' version.\n";

void printFieldsAndCodePages() {
  std::cout << "\nsettings fields (docs/job-script.md says what each does):\n ";
  size_t column = 1;
  for (auto& f : jobkit::settingsFields()) {
    std::string name = std::string(" ") + f.name;
    if (column + name.size() > 100) std::cout << "\n ", column = 1;
    std::cout << name;
    column += name.size();
  }
  std::cout << "\n\ncode pages, with the locale each sets:\n";
  for (auto& c : jobkit::codePageLocales()) {
    char line[80];
    std::snprintf(line, sizeof line, "  %-5u 0x%04X  %s\n", c.codePage, c.locale, c.language);
    std::cout << line;
  }
}

int usageError(const std::string& message) { return jobkit::usageError("kqxl-mkjob", message, kUsage); }

bool numberArgument(const char* text, unsigned long max, unsigned long* out) {
  auto n = jobkit::parseNumber(text);
  if (!n || *n <= 0 || static_cast<unsigned long long>(*n) > max) return false;
  *out = static_cast<unsigned long>(*n);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  jobkit::MakeJobOptions options;
  std::filesystem::path document, out;
  bool inSettings = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    unsigned long n = 0;
    if (a == "-h" || a == "--help") return std::cout << kUsage, printFieldsAndCodePages(), 0;
    if (a == "--version") return std::cout << jobkit::versionLine("kqxl-mkjob"), 0;
    bool valued = a == "--chunk" || a == "--codepage" || a == "--locale" || a == "-o";
    if (valued && i + 1 >= argc) return usageError(a + " needs a value");
    if (a == "--chunk") {
      if (!numberArgument(argv[++i], 1 << 30, &n)) return usageError("--chunk needs a positive number");
      options.chunk = n;
    } else if (a == "--codepage") {
      if (!numberArgument(argv[++i], 65535, &n) || !jobkit::codePageLocale(static_cast<UINT>(n)))
        return usageError(std::string("--codepage ") + argv[i] + ": not a code page of the driver's (see --help)");
      options.codePage = static_cast<UINT>(n);
    } else if (a == "--locale") {
      if (!numberArgument(argv[++i], 0xFFFF, &n)) return usageError("--locale needs a LANGID, 0x0412 say");
      options.locale = static_cast<LANGID>(n);
    } else if (a == "-o") {
      out = argv[++i];
    } else if (a == "settings") {
      inSettings = true;
    } else if (inSettings && a.find('=') != std::string::npos) {
      options.settings.push_back(a);
    } else if (!a.empty() && a[0] == '-') {
      return usageError("unknown option " + a);
    } else if (document.empty()) {
      document = a;
      inSettings = false;
    } else {
      return usageError("one document at a time (\"" + a + "\" is a second)");
    }
  }
  if (document.empty()) return usageError("no document");
  if (options.locale && !options.codePage) return usageError("--locale goes with --codepage");
  jobkit::SettingsBuilder builder;
  if (std::string error; !jobkit::checkSettings(options.settings, &builder, &error))
    return std::cerr << "kqxl-mkjob: " << error << "\n", jobkit::kExitScriptError;
  if (!out.empty()) {
    std::filesystem::path base = std::filesystem::absolute(out).parent_path();
    options.documentRef = std::filesystem::relative(std::filesystem::absolute(document), base).string();
  }
  std::string script, error;
  jobkit::MakeJobNotes notes;
  if (!jobkit::makeJob(document, options, &script, &error, &notes))
    return std::cerr << "kqxl-mkjob: " << error << "\n", jobkit::kExitFailed;
  if (!notes.chosen.empty()) std::cerr << "kqxl-mkjob: " << notes.chosen << "\n";
  for (auto& w : notes.warnings) std::cerr << "kqxl-mkjob: warning: " << w << "\n";
  if (out.empty()) {
    std::cout << script;
  } else {
    std::ofstream file(out, std::ios::binary);
    file << script;
    file.close();
    if (!file)
      return std::cerr << "kqxl-mkjob: cannot write " << out.string() << ": " << std::strerror(errno) << "\n",
             jobkit::kExitFailed;
  }
  return 0;
}
