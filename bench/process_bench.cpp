// Whole process, as a user runs it: kqxl-run playing a job script of a real
// PCL XL document to a file, against dd copying the same bytes the way the
// job must move them, run as pairs, one after the other, on the same files.
// A direct job is one copy; a spooled job is a copy into a temp file and
// one copy back per pass over the pages (two for two collated copies).
// And 2,000 one-page jobs in one script, in jobs a second.
//
// KQXL_BENCH_MB sets the document's size (100 by default); the document and
// its scripts are made once and kept in the temp folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pclxl/writer.h"
#include "scratch.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace op = pclxl::op;
namespace attr = pclxl::attr;

constexpr int kPairs = 7;
constexpr int kPages = 5000;
constexpr int kImageWidth = 1280, kImageRow = kImageWidth / 8;

uint64_t documentMiB() {
  const char* mb = std::getenv("KQXL_BENCH_MB");
  return mb ? std::strtoull(mb, nullptr, 10) : 100;
}

fs::path scratch() { return bench::Scratch(); }

// `pages` pages of a one-bit image of `rows` rows each; each page's image
// carries its number in its rows.
void writeDocument(const fs::path& p, int pages, int rows) {
  std::ofstream out(p, std::ios::binary);
  std::string chunk;
  pclxl::Writer w(chunk);
  w.header("process benchmark");
  w.xy(pclxl::DataType::UInt16, 600, 600, attr::UnitsPerMeasure).ubyte(0, attr::Measure).op(op::BeginSession);
  w.ubyte(0, attr::SourceType).ubyte(1, attr::DataOrg).op(op::OpenDataSource);
  out << chunk;
  std::string image(static_cast<size_t>(rows) * kImageRow, '\0');
  for (int page = 1; page <= pages; ++page) {
    chunk.clear();
    for (int r = 0; r < rows; ++r)
      std::fill_n(image.begin() + static_cast<size_t>(r) * kImageRow, kImageRow, static_cast<char>(page >> (r % 16)));
    w.ubyte(0, attr::Orientation).ubyte(0, attr::MediaSize).op(op::BeginPage);
    w.ubyte(1, attr::ColorSpace).op(op::SetColorSpace);
    w.xy(pclxl::DataType::UInt16, 300, 300, attr::Point).op(op::SetCursor);
    w.ubyte(0, attr::ColorMapping).ubyte(0, attr::ColorDepth).uint16(kImageWidth, attr::SourceWidth);
    w.uint16(static_cast<uint16_t>(rows), attr::SourceHeight);
    w.xy(pclxl::DataType::UInt16, kImageWidth * 3, rows * 3, attr::DestinationSize).op(op::BeginImage);
    w.uint16(0, attr::StartLine).uint16(static_cast<uint16_t>(rows), attr::BlockHeight);
    w.ubyte(0, attr::CompressMode).op(op::ReadImage).data(image);
    w.op(op::EndImage).op(op::EndPage);
    out << chunk;
  }
  chunk.clear();
  w.op(op::CloseDataSource).op(op::EndSession);
  out << chunk;
}

// 5,000 pages, sized so that the document comes to KQXL_BENCH_MB.
fs::path document() {
  uint64_t target = documentMiB() << 20;
  fs::path p = fs::temp_directory_path() / ("kqxl-process-bench-" + std::to_string(documentMiB()) + "mb-v2.pxl");
  if (!fs::exists(p) || fs::file_size(p) < target)
    writeDocument(p, kPages, static_cast<int>(std::max<uint64_t>(1, target / kPages / kImageRow)));
  return p;
}

int run(const std::vector<std::string>& args, rusage* usage = nullptr) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return rc;
  int status = 0;
  rusage ignored;
  wait4(pid, &status, 0, usage ? usage : &ignored);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// The job script for these settings, made by kqxl-mkjob in 64 KiB buffers.
fs::path script(const std::string& name, const std::vector<std::string>& settings, const std::string& ini = "",
                const fs::path& doc = document()) {
  fs::path job = doc.parent_path() / (doc.stem().string() + "-" + name + ".job");
  if (fs::exists(job) && fs::last_write_time(job) > fs::last_write_time(doc)) return job;
  std::vector<std::string> args{KQXL_MKJOB, "--chunk", "65536", "-o", job.string(), "settings"};
  args.insert(args.end(), settings.begin(), settings.end());
  args.push_back(doc.string());
  if (run(args) != 0) return {};
  if (!ini.empty()) {
    std::ifstream in(job);
    std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(job) << ini << "\n" << body;
  }
  return job;
}

// Nothing dirty in the page cache at the start, so that no measurement pays
// for the write-back of the one before.
double timed(const std::vector<std::string>& args, rusage* usage = nullptr) {
  ::sync();
  auto start = std::chrono::steady_clock::now();
  int rc = run(args, usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return rc == 0 ? seconds : -1;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

uint64_t bytesUnder(const fs::path& dir) {
  uint64_t n = 0;
  for (auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() == ".prn") n += e.file_size();
  return n;
}

// The floor: the document copied by dd, straight to the port, or into a
// temp file in 64 KiB pieces and back to the port in 8 KiB ones, `passes`
// times.
std::vector<std::string> floorCommand(const fs::path& dir, int passes) {
  std::string doc = document().string(), port = (dir / "floor.prn").string();
  std::string tmp = (dir / "floor.tmp").string();
  std::string sh = "rm -f " + port + "; ";
  if (passes == 0) {
    sh += "dd if=" + doc + " of=" + port + " bs=64k status=none";
  } else {
    sh += "dd if=" + doc + " of=" + tmp + " bs=64k status=none";
    for (int i = 0; i < passes; ++i)
      sh += "; dd if=" + tmp + " of=" + port + " bs=8k status=none oflag=append conv=notrunc";
    sh += "; rm " + tmp;
  }
  return {"/bin/sh", "-c", sh};
}

bool leaked(const fs::path& out) {
  std::ifstream events(out / "events.jsonl");
  for (std::string line; std::getline(events, line);)
    if (line.find("\"event\":\"leak\"") != std::string::npos) return true;
  return false;
}

// Each case in its own folder, so that none counts another's documents.
void pairs(benchmark::State& state, const fs::path& job, int passes) {
  if (job.empty()) return state.SkipWithError("kqxl-mkjob failed");
  fs::path dir = scratch() / job.stem(), out = dir / "run";
  fs::create_directories(dir);
  std::vector<double> runs, floors;
  long peakKiB = 0;
  for (auto _ : state) {
    double floor = timed(floorCommand(dir, passes));
    rusage usage{};
    double seconds = timed({KQXL_RUN, "-o", out.string(), job.string()}, &usage);
    if (floor < 0 || seconds < 0) return state.SkipWithError("a run failed");
    if (leaked(out)) return state.SkipWithError("kqxl-run reports a leak");
    state.SetIterationTime(seconds);
    floors.push_back(floor);
    runs.push_back(seconds);
    peakKiB = std::max(peakKiB, usage.ru_maxrss);
  }
  state.counters["run_ms"] = median(runs) * 1000;
  state.counters["floor_ms"] = median(floors) * 1000;
  state.counters["ratio"] = median(runs) / median(floors);
  state.counters["port_mb"] = static_cast<double>(bytesUnder(out)) / (1 << 20);
  state.counters["floor_mb"] = static_cast<double>(fs::file_size(dir / "floor.prn")) / (1 << 20);
  state.counters["peak_rss_mb"] = static_cast<double>(peakKiB) / 1024;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(document())));
}

const std::string kPrinted = "dmPrintQuality=600";
const std::string kDuplexIni =
    "ini \"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXLEN.INI\" DUPLEX MD_ManualDuplex \"1\"";

void BM_Direct(benchmark::State& s) { pairs(s, script("direct", {kPrinted}), 0); }
void BM_Reverse(benchmark::State& s) { pairs(s, script("reverse", {kPrinted, "wReverseOrder=1"}), 1); }
void BM_Collated(benchmark::State& s) { pairs(s, script("collated", {kPrinted, "wCollate=1", "dmCopies=2"}), 2); }
// Mode 1 prints every transparency twice over: the floor copies twice.
void BM_Ohp(benchmark::State& s) { pairs(s, script("ohp", {kPrinted, "wMediaType=3", "wOhpMode=1"}), 2); }
void BM_ManualDuplex(benchmark::State& s) { pairs(s, script("duplex", {kPrinted, "wManualDuplex=1"}, kDuplexIni), 1); }
void BM_Booklet(benchmark::State& s) { pairs(s, script("booklet", {kPrinted, "wBooklet=1", "wHardwareBooklet=2"}), 1); }

// 2,000 one-page jobs of 20 KiB in one script: what each job costs beyond
// its bytes (the hooks, the overlay library, the driver's INI file).
constexpr int kSmallJobs = 2000;

fs::path smallJobsScript() {
  fs::path doc = scratch() / "one-page.pxl";
  writeDocument(doc, 1, 20 * 1024 / kImageRow);
  fs::path one = script("one", {kPrinted}, "", doc), job = scratch() / "small.job";
  if (one.empty()) return {};
  std::ifstream in(one);
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream out(job);
  for (int i = 0; i < kSmallJobs; ++i) out << body;
  return job;
}

void BM_SmallJobs(benchmark::State& state) {
  fs::path job = smallJobsScript();
  if (job.empty()) return state.SkipWithError("kqxl-mkjob failed");
  std::vector<double> runs;
  long peakKiB = 0;
  for (auto _ : state) {
    // A folder of its own each time: ext4 creates files slowly where as many
    // were just removed (it looks for recently deleted inodes), which would
    // measure the file system rather than the jobs.
    fs::path out = scratch() / ("small-" + std::to_string(runs.size()));
    rusage usage{};
    double seconds = timed({KQXL_RUN, "-o", out.string(), job.string()}, &usage);
    if (seconds < 0) return state.SkipWithError("kqxl-run failed");
    if (leaked(out)) return state.SkipWithError("kqxl-run reports a leak");
    state.SetIterationTime(seconds);
    runs.push_back(seconds);
    peakKiB = std::max(peakKiB, usage.ru_maxrss);
  }
  state.counters["jobs_per_s"] = kSmallJobs / median(runs);
  state.counters["peak_rss_mb"] = static_cast<double>(peakKiB) / 1024;
}

// The same 2,000 one-page jobs on one printer, split over two printers at
// once and over four: one kqxl-run, a script and a thread for each printer,
// as a print server's spooler plays them. Each round runs the three in turn.
fs::path printerScript(int printer, int printers) {
  fs::path one = script("one", {kPrinted}, "", scratch() / "one-page.pxl");
  fs::path job = scratch() / ("printer-" + std::to_string(printer) + "-of-" + std::to_string(printers) + ".job");
  std::ifstream in(one);
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream out(job);
  out << "printer name=\"KQ Bench " << printer << "\" port=\"USB0" << 10 + printer << "\"\n";
  for (int i = 0; i < kSmallJobs / printers; ++i) out << body;
  return job;
}

void BM_PrinterScaling(benchmark::State& state) {
  if (smallJobsScript().empty()) return state.SkipWithError("kqxl-mkjob failed");
  constexpr int kCounts[] = {1, 2, 4};
  std::vector<std::vector<std::string>> commands;
  for (int printers : kCounts) {
    std::vector<std::string> args{KQXL_RUN, "-o", ""};
    for (int p = 1; p <= printers; ++p) args.push_back(printerScript(p, printers).string());
    commands.push_back(args);
  }
  std::vector<double> runs[std::size(kCounts)];
  int round = 0;
  for (auto _ : state) {
    double total = 0;
    for (size_t i = 0; i < std::size(kCounts); ++i) {
      fs::path out = scratch() / ("printers-" + std::to_string(round) + "-" + std::to_string(kCounts[i]));
      commands[i][2] = out.string();
      double seconds = timed(commands[i]);
      if (seconds < 0) return state.SkipWithError("kqxl-run failed");
      for (int p = 1; p <= kCounts[i]; ++p)
        if (leaked(kCounts[i] == 1 ? out
                                   : out / ("printer-" + std::to_string(p) + "-of-" + std::to_string(kCounts[i]))))
          return state.SkipWithError("kqxl-run reports a leak");
      runs[i].push_back(seconds);
      total += seconds;
    }
    state.SetIterationTime(total);
    ++round;
  }
  double perSecond[std::size(kCounts)];
  for (size_t i = 0; i < std::size(kCounts); ++i) {
    perSecond[i] = kSmallJobs / median(runs[i]);
    state.counters["jobs_per_s_" + std::to_string(kCounts[i])] = perSecond[i];
  }
  state.counters["two_to_one"] = perSecond[1] / perSecond[0];
  state.counters["four_to_two"] = perSecond[2] / perSecond[1];
}

#define PAIRED(fn) BENCHMARK(fn)->Iterations(kPairs)->UseManualTime()->Unit(benchmark::kMillisecond)
PAIRED(BM_Direct);
PAIRED(BM_Reverse);
PAIRED(BM_Collated);
PAIRED(BM_Ohp);
PAIRED(BM_ManualDuplex);
PAIRED(BM_Booklet);
PAIRED(BM_SmallJobs);
PAIRED(BM_PrinterScaling);

}  // namespace

int main(int argc, char** argv) {
  // --scripts DIR: the direct and reverse-order scripts and the small jobs,
  // made and copied to DIR, for bench/instructions.sh.
  if (argc == 3 && std::string(argv[1]) == "--scripts") {
    fs::path dir = argv[2];
    fs::create_directories(dir);
    fs::remove(dir / document().filename());
    fs::create_symlink(document(), dir / document().filename());
    fs::copy_file(script("direct", {kPrinted}), dir / "direct.job", fs::copy_options::overwrite_existing);
    fs::copy_file(script("reverse", {kPrinted, "wReverseOrder=1"}), dir / "reverse.job",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(smallJobsScript(), dir / "small.job", fs::copy_options::overwrite_existing);
    fs::copy_file(scratch() / "one-page.pxl", dir / "one-page.pxl", fs::copy_options::overwrite_existing);
    fs::remove_all(scratch());
    return 0;
  }
  return bench::RunAndClean(argc, argv);
}
