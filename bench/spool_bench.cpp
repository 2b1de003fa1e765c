// The spooled replay is a copy: this measures it against the machine's own
// file copy on the same bytes. A spooled reverse-order job in 64 KiB
// buffers, 5,000 pages, through the hooks to a file port, against writing
// the same bytes to a file and copying them back through 8 KiB read/write
// pairs; a printer-made booklet of 100,000 pages against the same floor;
// and a million 16-byte buffers against it too.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <winsim/machine.h>
#include <winsim/spooler.h>

#include "jobkit/settings.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kPrinter[] = u"KQ PCL6 Laser";

fs::path scratch() { return bench::Scratch(); }

// A fresh machine whose printer port is a file.
struct BenchMachine {
  fs::path root = scratch() / "machine";
  std::unique_ptr<winsim::Machine> machine;
  BenchMachine() {
    fs::remove_all(root);
    winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, root);
    machine = std::make_unique<winsim::Machine>(root);
    machine->setKeepHistory(false);
    machine->setSinkFactory(
        [](int, std::u16string_view, std::string*) { return winsim::fileSink(scratch() / "port.prn"); });
  }
};

// Each measurement starts with nothing dirty in the page cache, so that one
// does not pay for the write-back of another's files.
void settle() { ::sync(); }

void report(benchmark::State& state, uint64_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024;
}

// A booklet record of one-byte snippets, as small as a record can be.
std::string bookletRecord() {
  std::string r("\x1B\xF0\x10\x00", 4);
  for (int element = 1; element <= 12; ++element) r += std::string{static_cast<char>(element), 1, 'x'};
  return r + std::string{13, 1};
}

// Plays a spooled job of `pages` pages of `pageBytes` bytes each, in
// buffers of `buffer` bytes: in reverse order, or as a printer-made booklet.
void spooledJob(uint64_t pages, uint64_t pageBytes, size_t buffer, bool booklet = false) {
  winsim::PrintJob job(kPrinter, 1, u"bench");
  job.startDoc();
  auto settings = booklet ? jobkit::SettingsBuilder{}.with("wBooklet", 1).with("wHardwareBooklet", 2).build(kPrinter)
                          : jobkit::SettingsBuilder{}.with("wReverseOrder", 1).build(kPrinter);
  DWORD w;
  job.write(settings.data(), 1625, &w);
  std::vector<char> data(buffer, 'x');
  job.write("HEADAAAABBBB", 12, &w);
  if (booklet) {
    std::string record = bookletRecord();
    job.write(record.data(), static_cast<DWORD>(record.size()), &w);
  }
  const char marker[] = "\x1B\xF0\x10\xAA\x01";
  for (uint64_t p = 0; p < pages; ++p) {
    job.write(marker, 5, &w);
    for (uint64_t left = pageBytes; left > 0;) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(left, buffer));
      job.write(data.data(), static_cast<DWORD>(n), &w);
      left -= n;
    }
  }
  job.write("\x1B\xF0\x10\xFF", 4, &w);
  job.endDoc();
  job.close();
}

// The floor: the same bytes written to a file, then copied back through
// 8 KiB read/write pairs to another file.
void floorCopy(uint64_t total, size_t buffer) {
  fs::path a = scratch() / "floor-a", b = scratch() / "floor-b";
  int out = ::open(a.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0644);
  std::vector<char> data(buffer, 'x');
  for (uint64_t left = total; left > 0;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(left, buffer));
    if (::write(out, data.data(), n) < 0) break;
    left -= n;
  }
  ::lseek(out, 0, SEEK_SET);
  int copy = ::open(b.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  char chunk[8192];
  ssize_t n;
  while ((n = ::read(out, chunk, sizeof chunk)) > 0)
    if (::write(copy, chunk, static_cast<size_t>(n)) < 0) break;
  ::close(copy);
  ::close(out);
}

void BM_SpooledReverse(benchmark::State& state) {
  uint64_t total = static_cast<uint64_t>(state.range(0)) << 20;
  constexpr uint64_t kPages = 5000;
  BenchMachine m;
  settle();
  for (auto _ : state) spooledJob(kPages, total / kPages, 64 * 1024);
  report(state, total);
}

// A printer-made booklet of 100,000 pages: every sheet side composed from
// the snippets, the pages in booklet order.
void BM_SpooledBooklet(benchmark::State& state) {
  uint64_t total = static_cast<uint64_t>(state.range(0)) << 20;
  constexpr uint64_t kPages = 100000;
  BenchMachine m;
  settle();
  for (auto _ : state) spooledJob(kPages, total / kPages, 64 * 1024, true);
  report(state, total);
}

void BM_FloorCopy(benchmark::State& state) {
  uint64_t total = static_cast<uint64_t>(state.range(0)) << 20;
  settle();
  for (auto _ : state) floorCopy(total, 64 * 1024);
  report(state, total);
}

// A million 16-byte buffers, 100 a page: the per-buffer cost of the write
// path and its marker tests.
void BM_SmallBuffers(benchmark::State& state) {
  BenchMachine m;
  settle();
  for (auto _ : state) spooledJob(10000, 100 * 16, 16);
  report(state, 10000 * 100 * 16);
}

void BM_SmallFloor(benchmark::State& state) {
  settle();
  for (auto _ : state) floorCopy(10000 * 100 * 16, 16);
  report(state, 10000 * 100 * 16);
}

BENCHMARK(BM_FloorCopy)->Arg(100)->Arg(1024)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpooledReverse)->Arg(100)->Arg(1024)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpooledBooklet)->Arg(100)->Arg(1024)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SmallFloor)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SmallBuffers)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return bench::RunAndClean(argc, argv); }
