// A page printed over a form costs the overlay library a copy of the form:
// the library keeps what it read and checked while the file is unchanged.
// Measured per page (getOverlaySize and ReadOverlay, as the component asks
// at each overlay marker) for a 1 MiB and a 60 MiB form, against the floor
// of copying the same bytes into a fresh buffer; and the first page, which
// reads and checks the form, against reading the file.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <winsim/machine.h>

#include "pclxl/writer.h"
#include "scratch.h"
#include "watermark/overlaylib.h"

namespace {

namespace fs = std::filesystem;

// A recorded first page whose drawing is `mib` MiB of rectangles.
std::string FormRecording(int mib) {
  std::string page;
  pclxl::Writer(page).ubyte(0, pclxl::attr::Orientation).ubyte(0, pclxl::attr::MediaSize).op(pclxl::op::BeginPage);
  std::string box;
  pclxl::Writer(box)
      .box(pclxl::DataType::UInt16, 100, 100, 300, 300, pclxl::attr::BoundingBox)
      .op(pclxl::op::Rectangle);
  size_t target = static_cast<size_t>(mib) << 20;
  page.reserve(page.size() + target + box.size() + 4);
  while (page.size() < target) page += box;
  return page + "\x44\x49\x42";
}

struct Library {
  fs::path root = bench::Scratch() / "machine";
  std::unique_ptr<winsim::Machine> machine;
  HMODULE lib = nullptr;
  GetOverlaySizeFn getSize = nullptr;
  ReadOverlayFn read = nullptr;
  std::string path;

  explicit Library(int mib) : path("C:\\forms\\form" + std::to_string(mib) + ".ovl") {
    fs::remove_all(root);
    winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, root);
    machine = std::make_unique<winsim::Machine>(root);
    machine->setKeepHistory(false);
    std::u16string wide(path.begin(), path.end());
    machine->writeFile(wide, FormRecording(mib));
    lib = LoadLibraryW(u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXLO.DLL");
    if (!lib) std::abort();
    getSize = reinterpret_cast<GetOverlaySizeFn>(reinterpret_cast<void*>(GetProcAddress(lib, "getOverlaySize")));
    read = reinterpret_cast<ReadOverlayFn>(reinterpret_cast<void*>(GetProcAddress(lib, "ReadOverlay")));
    if (!getSize || !read) std::abort();
  }
  ~Library() {
    FreeLibrary(lib);
    machine.reset();
    fs::remove_all(root);
  }
  // One page's overlay, as the component takes it: the size, a buffer, the bytes.
  bool page() {
    DWORD size = getSize(path.c_str());
    std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
    bool ok = size && read(buffer.get()) == 1;
    benchmark::DoNotOptimize(buffer.get());
    return ok;
  }
};

void BM_OverlayPage(benchmark::State& state) {
  Library l(static_cast<int>(state.range(0)));
  DWORD size = l.getSize(l.path.c_str());
  if (!l.page()) state.SkipWithError("no form served");
  for (auto _ : state)
    if (!l.page()) state.SkipWithError("no form served");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

// The floor: the same bytes copied into a fresh buffer.
void BM_CopyFloor(benchmark::State& state) {
  std::string form(static_cast<size_t>(state.range(0)) << 20, 'x');
  for (auto _ : state) {
    std::unique_ptr<char[]> buffer(new char[form.size()]);
    std::memcpy(buffer.get(), form.data(), form.size());
    benchmark::DoNotOptimize(buffer.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * form.size()));
}

// The first page of a job: the form read and checked.
void BM_OverlayFirstPage(benchmark::State& state) {
  Library l(static_cast<int>(state.range(0)));
  std::u16string wide(l.path.begin(), l.path.end());
  std::string recording = FormRecording(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    l.machine->writeFile(wide, recording);  // the same bytes at a new write time: read again
    state.ResumeTiming();
    if (!l.page()) state.SkipWithError("no form served");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * recording.size()));
}

// The floor of the first page: the file read whole from the page cache.
void BM_ReadFloor(benchmark::State& state) {
  fs::path file = bench::Scratch() / "form.bin";
  std::string recording = FormRecording(static_cast<int>(state.range(0)));
  std::ofstream(file, std::ios::binary) << recording;
  for (auto _ : state) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(recording.size(), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * recording.size()));
}

BENCHMARK(BM_OverlayPage)->Arg(1)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyFloor)->Arg(1)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OverlayFirstPage)->Arg(1)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFloor)->Arg(1)->Arg(60)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunAndClean(argc, argv); }
