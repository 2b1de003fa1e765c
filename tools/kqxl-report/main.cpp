// kqxl-report: a page a person can look at for a kqxl-run output folder:
// per script and job the settings, hook results, message boxes and traces,
// and every port document as a printer prints it, page by page.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "jobkit/interpreter.h"
#include "jobkit/printorder.h"
#include "jobkit/runner.h"
#include "page.h"
#include "pclxl/checker.h"

namespace fs = std::filesystem;
using namespace report;

namespace {

const char kUsage[] = R"(usage: kqxl-report [options] DIR

Writes DIR/index.html for a kqxl-run output folder (kqxl-run -o DIR, one
script or several): per script and job the settings that differ from the
defaults, the hooks' results, the message boxes and their answers, the
traces, and each port document with its size, pages and checker problems;
where a PCL XL interpreter is found, every printed page, labelled with what
it is. The interpreter: KQXL_PXL_PRINT, KQXL_GPCL6, KQXL_PRINTER_TOOLS,
../shared/tools/pxl-print beside the project, or gpcl6 on the PATH.

options:
  --res DPI     the printed pages' resolution (default 60, 36 past 60 pages)
  --no-pages    do not print the pages
  -h, --help    this text
  --version     the tools' version
Exit status: 0 when the report is written, 1 when it cannot be, 2 for a
usage error.
)";

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The folders of the run: DIR itself, or each folder below it with a log.
std::vector<fs::path> scriptFolders(const fs::path& dir) {
  if (fs::exists(dir / "events.jsonl")) return {dir};
  std::vector<fs::path> folders;
  std::error_code ec;
  for (auto& entry : fs::directory_iterator(dir, ec))
    if (entry.is_directory() && fs::exists(entry.path() / "events.jsonl")) folders.push_back(entry.path());
  std::sort(folders.begin(), folders.end());
  return folders;
}

void check(PrintedDocument* d) {
  std::FILE* in = std::fopen(d->file.c_str(), "rb");
  if (!in) return;
  pclxl::Checker checker;
  pclxl::checkStream(checker, [in](uint8_t* buf, size_t size) { return std::fread(buf, 1, size, in); });
  std::fclose(in);
  d->readable = true;
  d->pages = static_cast<int>(checker.pages().size());
  for (auto& p : checker.problems()) d->problems.push_back("at byte " + std::to_string(p.offset) + ": " + p.message);
}

// Every document of a script printed in one call; the pages as PNG files in
// `scratch`, read back and removed.
void print(std::vector<PrintedDocument*>& docs, const jobkit::Interpreter& interpreter, int dpi,
           const fs::path& scratch) {
  std::string command =
      interpreter.printCommand + " --png " + jobkit::shellQuote(scratch.string()) + " --res " + std::to_string(dpi);
  for (auto* d : docs) command += " " + jobkit::shellQuote(d->file.string());
  std::string said = jobkit::runCommand(command);
  for (auto* d : docs) {
    std::string lead = d->file.string() + ": ";
    for (size_t at = said.find(lead); at != std::string::npos; at = std::string::npos) {
      d->verdict = said.substr(at + lead.size(), said.find('\n', at) - at - lead.size());
      d->printed = d->verdict.rfind("ok", 0) == 0 || d->verdict.rfind("empty", 0) == 0;
    }
    for (int k = 1;; ++k) {
      char name[16];
      std::snprintf(name, sizeof name, "-%03d.png", k);
      fs::path png = scratch / (d->file.stem().string() + name);
      if (!fs::exists(png)) break;
      d->images.push_back(slurp(png));
      fs::remove(png);
    }
  }
}

void label(const Job& job, std::vector<PrintedDocument>& docs) {
  std::vector<int> printed;
  for (auto& d : docs) printed.push_back(d.pages);
  jobkit::JobSummary summary{job.document, job.settings, job.pages};
  auto labels = jobkit::pageLabels(summary, printed);
  for (size_t i = 0; i < labels.size() && i < docs.size(); ++i) docs[i].labels = labels[i];
}

ScriptReport readScript(const fs::path& folder, const fs::path& top) {
  ScriptReport s;
  s.name = folder == top ? folder.filename().string() : folder.lexically_relative(top).string();
  if (s.name.empty() || s.name == ".") s.name = fs::absolute(folder).parent_path().filename().string();
  if (!readRunLog(folder / "events.jsonl", &s.log)) s.log.unreadLines.push_back("(events.jsonl could not be read)");
  for (auto& job : s.log.jobs) {
    auto& docs = s.documents.emplace_back();
    for (auto& port : job.documents) {
      PrintedDocument d;
      d.port = &port;
      if (!port.file.empty()) d.file = folder / port.file;
      if (!d.file.empty() && port.bytes > 0) check(&d);
      docs.push_back(std::move(d));
    }
  }
  return s;
}

int totalPages(const std::vector<ScriptReport>& scripts) {
  int n = 0;
  for (auto& s : scripts)
    for (auto& docs : s.documents)
      for (auto& d : docs) n += d.pages;
  return n;
}

void printAll(Page& page, const jobkit::Interpreter& interpreter, int dpi) {
  char pattern[] = "/tmp/kqxl-report-XXXXXX";
  if (!mkdtemp(pattern)) return void(page.noPages = "no folder for the pages could be made");
  fs::path scratch = pattern;
  for (auto& s : page.scripts) {
    for (size_t j = 0; j < s.documents.size(); ++j) {
      std::vector<PrintedDocument*> docs;
      for (auto& d : s.documents[j])
        if (d.readable && d.port->bytes > 0) docs.push_back(&d);
      if (!docs.empty()) print(docs, interpreter, dpi, scratch);
      label(s.log.jobs[j], s.documents[j]);
    }
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
}

}  // namespace

int main(int argc, char** argv) {
  jobkit::Arguments args;
  std::string error;
  if (!jobkit::parseArguments(argc, argv, {{"--res", "a resolution"}, {"--no-pages", ""}}, &args, &error))
    return jobkit::usageError("kqxl-report", error, kUsage);
  if (jobkit::answeredHelp(args, "kqxl-report", kUsage)) return 0;
  if (args.operands.size() != 1) return jobkit::usageError("kqxl-report", "one output folder", kUsage);
  fs::path dir = args.operands[0];
  Page page;
  for (auto& folder : scriptFolders(dir)) page.scripts.push_back(readScript(folder, dir));
  if (page.scripts.empty()) {
    std::cerr << "kqxl-report: " << dir.string()
              << (std::filesystem::is_directory(dir) ? " holds no run: " : " is no folder: ")
              << "give a folder kqxl-run -o wrote (its events.jsonl and doc-N.prn, or a folder of such folders, "
                 "one for each of several scripts): kqxl-run -o DIR JOB.job, then kqxl-report DIR\n";
    return 1;
  }

  jobkit::Interpreter interpreter = jobkit::findInterpreter(KQXL_SOURCE_DIR);
  if (args.has("--no-pages")) {
    page.noPages = "kqxl-report was asked not to print them";
  } else if (!interpreter.found()) {
    page.noPages = interpreter.missing;
  } else {
    int dpi = totalPages(page.scripts) > 60 ? 36 : 60;
    if (fs::path res = args.value("--res"); !res.empty()) dpi = std::max(10, std::atoi(res.c_str()));
    page.interpreter = interpreter.where;
    printAll(page, interpreter, dpi);
  }
  std::ofstream(dir / "index.html", std::ios::binary) << html(page);
  std::cout << (dir / "index.html").string() << "\n";
  if (!page.interpreter.empty()) std::cout << "kqxl-report: pages printed on " << page.interpreter << "\n";
  else std::cout << "kqxl-report: no pages shown: " << page.noPages << "\n";
  return 0;
}
