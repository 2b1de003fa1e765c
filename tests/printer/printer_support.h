// What the printer-side suites share: a PCL XL interpreter wherever a user
// has one, its verdicts and page images, grey renderings to look for ink in.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "jobkit/interpreter.h"
#include "support/pxl_builder.h"
#include "support/replay_orders.h"
#include "support/test_machine.h"

namespace printer {

namespace fs = std::filesystem;
using test::slurp;

// The interpreter wherever a user has one (jobkit/interpreter.h says where
// it is looked for).
inline const jobkit::Interpreter& interpreter() {
  static const jobkit::Interpreter found = jobkit::findInterpreter(KQXL_SOURCE_DIR);
  return found;
}

#define REQUIRE_INTERPRETER()                                                                                \
  if (!interpreter().found() || interpreter().gpcl6.empty())                                                 \
  GTEST_SKIP() << (interpreter().found() ? "no gpcl6 beside " + interpreter().where : interpreter().missing) \
               << "; the printer's side is not tested"

inline std::string quote(const fs::path& p) { return jobkit::shellQuote(p.string()); }

inline std::string run(const std::string& command) { return jobkit::runCommand(command); }

// What pxl-print said of one file: "ok (pages N)", "FAILED (...): why", or
// "empty, nothing printed".
struct Printout {
  std::string verdict;
  bool ok() const { return verdict.rfind("ok", 0) == 0 || verdict.rfind("empty", 0) == 0; }
};

inline std::map<fs::path, Printout> print(const std::vector<fs::path>& files, const fs::path& pngDir = {}) {
  std::string command = interpreter().printCommand;
  if (!pngDir.empty()) command += " --png " + quote(pngDir);
  for (auto& f : files) command += " " + quote(f);
  std::istringstream lines(run(command));
  std::map<fs::path, Printout> verdicts;
  std::string line;
  while (std::getline(lines, line))
    for (auto& f : files)
      if (line.rfind(f.string() + ": ", 0) == 0) verdicts[f].verdict = line.substr(f.string().size() + 2);
  return verdicts;
}

// The pages pxl-print says it printed: "ok (pages N)", "FAILED (pages N): ...".
inline uint64_t printedPages(const Printout& p) {
  std::smatch m;
  static const std::regex pages(R"(pages (\d+))");
  return std::regex_search(p.verdict, m, pages) ? std::stoull(m[1]) : 0;
}

// The page images pxl-print wrote for a file, in order.
inline std::vector<std::string> images(const fs::path& pngDir, const fs::path& file) {
  std::vector<std::string> pages;
  for (int n = 1;; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "-%03d.png", n);
    fs::path png = pngDir / (file.stem().string() + name);
    if (!fs::exists(png)) return pages;
    pages.push_back(slurp(png));
  }
}

struct Box {
  double x1, y1, x2, y2;
  double cx() const { return (x1 + x2) / 2; }
  double cy() const { return (y1 + y2) / 2; }
};

// Where each page put ink, in points of the (portrait) sheet.
inline std::vector<Box> inkBoxes(const fs::path& file) {
  std::string out = run(quote(interpreter().gpcl6) + " -dNOPAUSE -dBATCH -sDEVICE=bbox " + quote(file));
  std::vector<Box> boxes;
  std::regex re(R"(%%HiResBoundingBox: ([-0-9.]+) ([-0-9.]+) ([-0-9.]+) ([-0-9.]+))");
  for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it)
    boxes.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
  return boxes;
}

using test::TempDir;

inline fs::path write(const fs::path& dir, const std::string& name, const std::string& bytes) {
  fs::path p = dir / name;
  std::ofstream(p, std::ios::binary) << bytes;
  return p;
}

// The files of examples/ with that extension.
inline std::vector<fs::path> examples(const char* extension) {
  std::vector<fs::path> found;
  for (auto& e : fs::directory_iterator(KQXL_SOURCE_DIR "/examples"))
    if (e.path().extension() == extension) found.push_back(e.path());
  return found;
}

// A page of the document as a printer prints it alone: its own image.
inline std::vector<std::string> documentPages(const fs::path& doc, const fs::path& dir) {
  fs::path pngDir = dir / "document";
  auto verdict = print({doc}, pngDir)[doc];
  EXPECT_TRUE(verdict.ok()) << doc << ": " << verdict.verdict;
  return images(pngDir, doc);
}

// The instruction page as a printer prints it in a session of its own.
inline std::string instructionPage(const fs::path& dir, bool landscape = false) {
  std::string page =
      test::TestMachine::slurpHost(fs::path(KQXL_MACHINE_IMAGE) / "WINDOWS/system32/spool/drivers/w32x86/2" /
                                   (landscape ? "INSTLAND.PXL" : "INSTPORT.PXL"));
  fs::path file = write(dir, landscape ? "instructions-land.pxl" : "instructions.pxl",
                        test::PxlBuilder().begin().bytes() + page + "\x49\x42");
  fs::path pngDir = dir / (landscape ? "instructions-land" : "instructions");
  EXPECT_TRUE(print({file}, pngDir)[file].ok());
  auto pages = images(pngDir, file);
  return pages.empty() ? std::string() : pages[0];
}

// A page image in grey levels, as gpcl6 renders it (pgmraw).
struct Grey {
  int width = 0, height = 0;
  std::string pixels;
  int level(double col, double row) const {
    int c = static_cast<int>(col), r = static_cast<int>(row);
    if (c < 0 || r < 0 || c >= width || r >= height) return 255;
    return static_cast<unsigned char>(pixels[static_cast<size_t>(r) * width + c]);
  }
  bool dark(double col, double row) const {
    int c = static_cast<int>(col), r = static_cast<int>(row);
    if (c < 0 || r < 0 || c >= width || r >= height) return false;
    return static_cast<unsigned char>(pixels[static_cast<size_t>(r) * width + c]) < 128;
  }
};

// The pages of a file, rendered at `dpi`.
inline std::vector<Grey> greyPages(const fs::path& file, const fs::path& dir, int dpi) {
  std::string pattern = (dir / (file.stem().string() + "-%03d.pgm")).string();
  run(quote(interpreter().gpcl6) + " -dNOPAUSE -dBATCH -sDEVICE=pgmraw -r" + std::to_string(dpi) +
      " -sOutputFile=" + quote(pattern) + " " + quote(file));
  std::vector<Grey> pages;
  for (int n = 1;; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "-%03d.pgm", n);
    std::string bytes = slurp(dir / (file.stem().string() + name));
    if (bytes.empty()) return pages;
    // "P5", width, height, maxval, each after white space or a comment line.
    std::istringstream in(bytes);
    std::vector<int> fields;
    std::string word;
    while (fields.size() < 3 && in >> word) {
      if (word[0] == '#') std::getline(in, word);
      else if (word != "P5") fields.push_back(std::stoi(word));
    }
    in.get();
    Grey g;
    g.width = fields[0];
    g.height = fields[1];
    g.pixels = bytes.substr(static_cast<size_t>(in.tellg()));
    pages.push_back(std::move(g));
  }
}

// The share of `part`'s ink that `page` lacks.
inline double inkMissing(const Grey& page, const Grey& part) {
  long ink = 0, missing = 0;
  for (int r = 0; r < part.height; ++r)
    for (int c = 0; c < part.width; ++c)
      if (part.dark(c, r)) {
        ++ink;
        missing += !page.dark(c, r);
      }
  return ink ? static_cast<double>(missing) / static_cast<double>(ink) : 1.0;
}

// A job played in an order and printed: its non-empty spooler documents as
// files, the interpreter's verdict on each, their page images.
struct PlayedOrder {
  std::vector<fs::path> files;
  std::map<fs::path, Printout> verdicts;
  fs::path pngDir;
};

inline PlayedOrder playAndPrint(test::TestMachine& m, const fs::path& doc, const test::ReplayOrder& order) {
  PlayedOrder played;
  auto printed = test::playOrder(m, doc, order);
  for (size_t d = 0; d < printed.size(); ++d)
    played.files.push_back(write(m.dir(), "doc-" + std::to_string(d + 1) + ".prn", printed[d]));
  played.pngDir = m.dir() / "pages";
  played.verdicts = print(played.files, played.pngDir);
  for (auto& f : played.files)
    EXPECT_TRUE(played.verdicts[f].ok()) << f.filename() << ": " << played.verdicts[f].verdict;
  return played;
}

// Which page each printed page is, per document, as `pageOf` tells it from
// the page's image.
template <typename PageOf>
std::vector<std::vector<int>> pageNumbers(const PlayedOrder& played, PageOf pageOf) {
  std::vector<std::vector<int>> documents;
  for (auto& f : played.files) {
    std::vector<int> pages;
    for (auto& image : images(played.pngDir, f)) pages.push_back(pageOf(image));
    documents.push_back(pages);
  }
  return documents;
}

}  // namespace printer
