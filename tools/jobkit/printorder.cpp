#include "jobkit/printorder.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "job/plan.h"
#include "jobkit/settings.h"

namespace jobkit {

namespace {

using Labels = std::vector<std::string>;

long long setting(const JobSummary& job, const char* name, long long fallback) {
  for (auto& [field, value] : job.settings)
    if (field == name)
      if (auto n = parseNumber(value)) return *n;
  return fallback;
}

std::string page(int k) { return "page " + std::to_string(k) + " of the document"; }

std::vector<int> pages(int from, int to, int step) {
  std::vector<int> v;
  for (int k = from; step > 0 ? k <= to : k >= to; k += step) v.push_back(k);
  return v;
}

// Copies of one run of pages, each page labelled with its copy when there
// are several.
Labels copies(const std::vector<int>& run, long long count) {
  Labels out;
  for (long long c = 1; c <= count; ++c)
    for (int k : run) out.push_back(page(k) + (count > 1 ? ", copy " + std::to_string(c) : ""));
  return out;
}

// Collated copies made by the driver: dmCopies when the printer makes none.
long long copyCount(const JobSummary& job) {
  bool driverCopies = setting(job, "wCollate", 0) == 1 && setting(job, "wPrinterCopies", 0) == 0;
  return driverCopies ? setting(job, "dmCopies", 1) : 1;
}

Labels transparencies(const JobSummary& job, int n) {
  long long mode = setting(job, "wOhpMode", 0);
  int shown = mode == 1 ? n : n - 1;
  std::vector<int> run = setting(job, "wReverseOrder", 0) != 0 ? pages(shown, 1, -1) : pages(1, shown, 1);
  bool separatorAfter = setting(job, "wOhpSeparatorAfter", 0) != 0;
  Labels out;
  for (long long c = 0; c < copyCount(job); ++c)
    for (int k : run) {
      std::string transparency = "transparency: " + page(k);
      std::string separator = "separator: " + page(mode == 1 ? k : n);
      out.push_back(separatorAfter ? transparency : separator);
      out.push_back(separatorAfter ? separator : transparency);
    }
  return out;
}

// Backs first (even pages), then the fronts (odd pages, the last of an odd
// count alone on a sheet of its own at the end), as the first pass prints
// them on a printer that takes the sheets in ascending order. The first
// page of each pass says so: the prompt to put the sheets back falls
// between them.
Labels manualDuplex(const JobSummary& job, int n) {
  Labels out;
  if (setting(job, "wInstructionPage", 0) > 0) out.push_back("instruction page");
  int paired = n - n % 2;
  for (int k : pages(2, paired, 2))
    out.push_back(page(k) + ", back of sheet " + std::to_string(k / 2) + (k == 2 ? " (first pass)" : ""));
  long long order = setting(job, "wBackSideOrder", 0);
  if (order != 0 && order != 1) return out;
  std::vector<int> fronts = order == 0 ? pages(1, paired - 1, 2) : pages(paired - 1, 1, -2);
  if (n % 2) fronts.push_back(n);
  for (size_t i = 0; i < fronts.size(); ++i)
    out.push_back(page(fronts[i]) + ", front of sheet " + std::to_string((fronts[i] + 1) / 2) +
                  (i == 0 ? " (second pass, after the prompt to put the sheets back)" : ""));
  return out;
}

// A booklet side and the pages on it, first and second position; a slot
// past the document's end is blank.
std::string bookletSide(int side, int n, int binding) {
  int slots = 4 * ((n + 3) / 4), facing = slots + 1 - side;
  bool sideFirst = binding == 1 ? side % 2 == 1 : side % 2 == 0;
  int first = sideFirst ? side : facing, second = sideFirst ? facing : side;
  auto slot = [n](int k) { return k <= n ? std::to_string(k) : std::string("blank"); };
  return "booklet side " + std::to_string(side) + ": pages " + slot(first) + " | " + slot(second);
}

// A booklet as the drivers print it, on a printer that takes the sheets in
// ascending order: the printer's own in side order (its copies one after
// another); a two-pass one the even sides, then the odd ones in the order
// the backs are asked for; in neither mode each page alone on a side.
Labels booklet(const JobSummary& job, int n, ReplayOrder replay) {
  int sides = 2 * ((n + 3) / 4), binding = setting(job, "wBookletBinding", 0) == 1 ? 1 : 0;
  Labels out;
  auto add = [&](const std::vector<int>& run) {
    for (int s : run) out.push_back(bookletSide(s, n, binding));
  };
  if (replay == ReplayOrder::PrinterBooklet) {
    for (long long c = 0; c < std::max(1LL, copyCount(job)); ++c) add(pages(1, sides, 1));
  } else if (replay == ReplayOrder::SoftwareBooklet) {
    if (setting(job, "wInstructionPage", 0) > 0) out.push_back("instruction page");
    if (n <= 1) return add({1}), out;
    add(pages(2, sides, 2));
    long long order = setting(job, "wBackSideOrder", 0);
    if (order == 0) add(pages(1, sides - 1, 2));
    if (order == 1) add(pages(sides - 1, 1, -2));
  } else {
    for (int k = 1; k <= n; ++k) out.push_back(page(k) + ", alone on a booklet side");
  }
  return out;
}

Labels reverseOrder(const JobSummary& job, int n) {
  switch (setting(job, "wReverseOrder", 0)) {
    case 1: return copies(pages(n, 1, -1), copyCount(job));
    case 2: return copies(pages(1, n, 2), copyCount(job));
    case 3: return n == 1 ? Labels{} : copies(pages(2, n, 2), copyCount(job));
    default: return {};
  }
}

// The replay the component gives the job, as it decides it: the orders
// below then say, each on its own, which pages that replay prints.
ReplayOrder replayOf(const JobSummary& job) {
  SettingsBuilder builder;
  for (auto& [field, value] : job.settings)
    if (auto n = parseNumber(value); n && findSettingsField(field)) builder.with(field, *n);
  auto record = builder.build(u"");
  KQDEVMODE settings;
  std::memcpy(&settings, record.data(), sizeof settings);
  return PlanFor(settings, SettingsSource::JobRecord).replay;
}

// The whole job's printed pages in order, or nothing when not told here.
Labels jobOrder(const JobSummary& job, int printedTotal) {
  int n = job.pages;
  if (n == 0) {  // printed as it came
    Labels out;
    for (int k = 1; k <= printedTotal; ++k) out.push_back(page(k));
    return out;
  }
  switch (ReplayOrder replay = replayOf(job)) {
    case ReplayOrder::PrinterBooklet:
    case ReplayOrder::SoftwareBooklet:
    case ReplayOrder::BookletPagesAlone: return booklet(job, n, replay);
    case ReplayOrder::ManualDuplex: return manualDuplex(job, n);
    case ReplayOrder::Transparencies: return transparencies(job, n);
    case ReplayOrder::PageOrder: return reverseOrder(job, n);
    case ReplayOrder::Collated: return copies(pages(1, n, 1), copyCount(job));
    case ReplayOrder::None: break;
  }
  return copies(pages(1, n, 1), 1);
}

}  // namespace

std::vector<std::vector<std::string>> pageLabels(const JobSummary& job, const std::vector<int>& printed) {
  int total = std::accumulate(printed.begin(), printed.end(), 0);
  Labels order = jobOrder(job, total);
  if (static_cast<int>(order.size()) != total) return {};
  std::vector<std::vector<std::string>> out;
  auto next = order.begin();
  for (int count : printed) {
    out.emplace_back(next, next + count);
    next += count;
  }
  return out;
}

}  // namespace jobkit
