// A soak: 100,000 small jobs through one loaded component on one machine,
// direct and spooled in turn, as a spooler runs for days. What the process
// holds (handles, blocks, modules, resident memory) must not grow with the
// jobs; the counters say by how much it did between the first 1,000 jobs
// and the end, and how many jobs went through a second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <winsim/machine.h>
#include <winsim/spooler.h>

#include "jobkit/settings.h"
#include "job/messages.h"

namespace {

namespace fs = std::filesystem;

class Discard : public winsim::DocumentSink {
 public:
  bool write(const void*, size_t) override { return true; }
};

long residentKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// One small job: settings, two pages with their markers, the end.
void playJob(const std::vector<uint8_t>& settings) {
  winsim::PrintJob job(u"KQ PCL6 Laser", 0, u"soak");
  if (!job.startDoc()) return;
  DWORD written = 0;
  auto send = [&](const void* p, size_t n) { job.write(p, static_cast<DWORD>(n), &written); };
  send(settings.data(), settings.size());
  const char header[] = "header--";
  send(header, sizeof header - 1);
  for (int page = 0; page < 2; ++page) {
    job.startPage();
    const unsigned char marker[5] = {0x1B, 0xF0, 0x10, 0xAA, 1};
    send(marker, sizeof marker);
    const std::string data(2048, static_cast<char>('a' + page));
    send(data.data(), data.size());
    job.endPage();
  }
  const unsigned char end[4] = {0x1B, 0xF0, 0x10, 0xFF};
  send(end, sizeof end);
  job.endDoc();
  job.close();
}

void BM_Soak(benchmark::State& state) {
  char pattern[] = "/tmp/kqxl-soak-XXXXXX";
  fs::path root = fs::path(mkdtemp(pattern)) / "machine";
  winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, root);
  auto machine = std::make_unique<winsim::Machine>(root);
  machine->setKeepHistory(false);
  machine->setSinkFactory([](int, std::u16string_view, std::string*) { return std::make_unique<Discard>(); });
  const std::vector<uint8_t> direct = jobkit::SettingsBuilder().with("dmCopies", 1).build(u"KQ PCL6 Laser");
  const std::vector<uint8_t> reverse = jobkit::SettingsBuilder().with("wReverseOrder", 1).build(u"KQ PCL6 Laser");
  const int jobs = static_cast<int>(state.range(0)), warmUp = 1000;
  for (int i = 0; i < warmUp; ++i) playJob(i % 2 ? reverse : direct);
  winsim::Snapshot before = machine->snapshot();
  long rssBefore = residentKb();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < jobs; ++i) playJob(i % 2 ? reverse : direct);
    std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    state.counters["jobs_per_s"] = jobs / seconds.count();
  }
  winsim::Snapshot after = machine->snapshot();
  state.counters["handles_grown"] = static_cast<double>(after.handles) - static_cast<double>(before.handles);
  state.counters["blocks_grown"] = static_cast<double>(after.blocks) - static_cast<double>(before.blocks);
  state.counters["modules_grown"] = static_cast<double>(after.modules) - static_cast<double>(before.modules);
  state.counters["rss_grown_kb"] = static_cast<double>(residentKb() - rssBefore);
  state.counters["left_behind"] = static_cast<double>(machine->leaks().size());
  machine.reset();
  std::error_code ec;
  fs::remove_all(root.parent_path(), ec);
}

}  // namespace

BENCHMARK(BM_Soak)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
