// Small watermarked jobs per second: a one-page job whose watermark is made
// for it (an internal job through GDI, the text shaped and drawn from real
// fonts) in English in Arial, in Japanese in MS Gothic on a machine set to
// code page 932, and in Arabic (joined, right to left) in Arial with its
// Arabic from a linked font; against the floor, the same job without a
// watermark. Fonts are matched and opened once a process; each job pays for
// the layout and the outlines.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <winsim/machine.h>

#include "jobkit/player.h"
#include "jobkit/simhost.h"
#include "jobkit/syntax.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

// The port: printed bytes go nowhere.
struct Discard : winsim::DocumentSink {
  bool write(const void*, size_t) override { return true; }
};

struct BenchMachine {
  fs::path root = bench::Scratch() / "watermark-machine";
  std::unique_ptr<winsim::Machine> machine;
  explicit BenchMachine(UINT codePage) {
    fs::remove_all(root);
    winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, root);
    machine = std::make_unique<winsim::Machine>(root);
    machine->setKeepHistory(false);
    machine->setCodePage(codePage);
    machine->setSinkFactory([](int, std::u16string_view, std::string*) { return std::make_unique<Discard>(); });
  }
};

// One page with a watermark marker, in the settings given.
std::string oneWatermarkedPage(const std::string& settings) {
  return "settings reset " + settings +
         "\nstartdoc\nwrite settings\nstartpage\nwrite marker watermark\nendpage\nenddoc\nclose\n";
}

void playJobs(benchmark::State& state, UINT codePage, const std::string& settings) {
  BenchMachine m(codePage);
  std::vector<jobkit::Directive> script;
  jobkit::ScriptError error;
  if (!jobkit::parseScript(oneWatermarkedPage(settings), &script, &error)) {
    state.SkipWithError(error.message.c_str());
    return;
  }
  jobkit::SimHost host(*m.machine);
  for (auto _ : state) {
    jobkit::Player player(host, m.root);
    if (!player.run(script, &error)) state.SkipWithError(error.message.c_str());
  }
  state.SetItemsProcessed(state.iterations());
}

const std::string kSize = " wWatermarkSize=72 wWatermarkAngle=45 dwWatermarkColor=0x808080";

void BM_NoWatermark(benchmark::State& state) { playJobs(state, 1252, "wWatermark=0"); }
void BM_EnglishWatermark(benchmark::State& state) {
  playJobs(state, 1252, "wWatermark=1 szWatermarkText=\"CONFIDENTIAL\" szWatermarkFont=\"Arial\"" + kSize);
}
void BM_JapaneseWatermark(benchmark::State& state) {
  playJobs(state, 932, "wWatermark=1 szWatermarkText=\"社外秘資料\" szWatermarkFont=\"MS Gothic\"" + kSize);
}
void BM_ArabicWatermark(benchmark::State& state) {
  playJobs(state, 1256, "wWatermark=1 szWatermarkText=\"سري للغاية\" szWatermarkFont=\"Arial\"" + kSize);
}

BENCHMARK(BM_NoWatermark)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EnglishWatermark)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JapaneseWatermark)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ArabicWatermark)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunAndClean(argc, argv); }
