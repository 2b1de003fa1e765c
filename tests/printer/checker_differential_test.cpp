// The checker judges as a printer does: mutants of real streams, judged by
// the checker and by the interpreter; none may be called well formed that
// the printer refuses or prints short. KQXL_MUTANTS sets how many (make
// differential runs more).
#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <thread>

#include "printer/mutants.h"
#include "printer/printer_support.h"

namespace {

using namespace printer;

// Where the checker refuses what the interpreter prints, on purpose. Every
// refusal the differential meets must be one of these.
struct Stricter {
  const char* problem;  // how the checker's first problem begins
  const char* why;
};
const Stricter kStricterOnPurpose[] = {
    {"the stream ends inside", "a job cut short lost its end, though a printer prints the pages it has"},
    {"a value left over at the end", "a job cut short in an attribute list"},
    {"an attribute list left over at the end", "a job cut short in an attribute list"},
    {"ReadImage's run-length data goes on past", "data a printer skips is data the driver meant for a page"},
    {"ReadRastPattern's run-length data goes on past", "as for ReadImage"},
    {"MediaSource N is out of range", "the trays beyond the eight named ones are the printer's own"},
};

const Stricter* stricterOnPurpose(const std::string& problem) {
  for (const Stricter& s : kStricterOnPurpose)
    if (problem.rfind(s.problem, 0) == 0) return &s;
  return nullptr;
}

std::vector<fs::path> seeds() {
  std::vector<fs::path> found = examples(".pxl");
  for (auto& e : fs::directory_iterator(KQXL_SOURCE_DIR "/tests/data"))
    if (e.path().extension() == ".pxl") found.push_back(e.path());
  std::sort(found.begin(), found.end());
  return found;
}

struct Verdict {
  bool wellFormed = false;
  uint64_t pages = 0;
  std::string first;  // the first problem
};

Verdict check(const std::string& bytes) {
  pclxl::Checker checker = test::checkBytes(bytes);
  Verdict v;
  v.wellFormed = checker.problems().empty();
  v.pages = checker.summary().pages;
  if (!v.wellFormed) v.first = checker.problems().front().message;
  return v;
}

// The interpreter's verdicts, two batches at a time.
std::map<fs::path, Printout> printAll(const std::vector<fs::path>& files) {
  std::map<fs::path, Printout> a, b;
  size_t half = files.size() / 2;
  std::thread other([&] { a = print(std::vector<fs::path>(files.begin(), files.begin() + half)); });
  b = print(std::vector<fs::path>(files.begin() + half, files.end()));
  other.join();
  a.insert(b.begin(), b.end());
  return a;
}

TEST(CheckerDifferential, NoMutantTheCheckerPassesDoesTheInterpreterRefuse) {
  REQUIRE_INTERPRETER();
  const char* count = std::getenv("KQXL_MUTANTS");
  uint32_t n = count ? static_cast<uint32_t>(std::strtoul(count, nullptr, 10)) : 2000;
  std::vector<std::string> bytes;
  std::vector<Anatomy> anatomies;
  for (auto& s : seeds()) {
    bytes.push_back(slurp(s));
    anatomies.push_back(anatomyOf(bytes.back()));
  }
  ASSERT_GE(bytes.size(), 5u);
  TempDir dir;
  std::vector<fs::path> files;
  std::vector<Mutant> mutants;
  std::vector<Verdict> verdicts;
  for (uint32_t i = 0; i < n; ++i) {
    size_t s = i % bytes.size(), o = (i / bytes.size() + s + 1) % bytes.size();
    mutants.push_back(mutate(bytes[s], anatomies[s], bytes[o], anatomies[o], i));
    verdicts.push_back(check(mutants.back().bytes));
    files.push_back(write(dir.path, "m" + std::to_string(i) + ".pxl", mutants.back().bytes));
  }
  auto printed = printAll(files);
  int both = 0, stricter = 0, missed = 0, crashed = 0;
  std::map<std::string, int> stricterBy;
  std::string report, unnamed;
  for (uint32_t i = 0; i < n; ++i) {
    const Printout& p = printed[files[i]];
    const Verdict& v = verdicts[i];
    static const std::regex died(R"(interpreter exit (1[3-9][0-9]))");  // a signal: the interpreter crashed
    bool crash = std::regex_search(p.verdict, died);
    bool prints = p.ok() && printedPages(p) == v.pages;
    if (crash) {
      ++crashed;
    } else if (v.wellFormed && !prints) {
      if (const char* keep = std::getenv("KQXL_MUTANTS_KEEP"))
        fs::copy_file(files[i], fs::path(keep) / files[i].filename(), fs::copy_options::overwrite_existing);
      if (++missed <= 25)
        report += "  m" + std::to_string(i) + " (" + mutants[i].what + " in " +
                  seeds()[i % bytes.size()].filename().string() + "): checker " + std::to_string(v.pages) +
                  " pages, well formed; interpreter " + p.verdict + "\n";
    } else if (!v.wellFormed && prints) {
      ++stricter;
      std::string kind = std::regex_replace(v.first, std::regex("[0-9]+"), "N");
      if (!stricterOnPurpose(kind) && stricterBy[kind] == 0)
        unnamed += "  m" + std::to_string(i) + " (" + mutants[i].what + "): " + v.first + "\n";
      ++stricterBy[kind];
    } else {
      ++both;
    }
  }
  std::string stricterList;
  for (auto& [what, k] : stricterBy) stricterList += "  " + std::to_string(k) + " × " + what + "\n";
  std::printf(
      "%u mutants: %d judged alike, %d the checker alone refuses, %d the checker misses, %d crash the "
      "interpreter\n%s",
      n, both, stricter, missed, crashed, stricterList.c_str());
  EXPECT_EQ(0, missed) << "called well formed, refused or printed short by the interpreter:\n" << report;
  EXPECT_EQ("", unnamed) << "refused by the checker alone, and not named in kStricterOnPurpose:\n" << unnamed;
}

}  // namespace
