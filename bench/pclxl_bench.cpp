// Throughput of the PCL XL tokenizer and checker on a large stream, against
// a plain read of the same file, and their peak memory. The stream is made
// once (KQXL_BENCH_MB megabytes, 1024 by default) in the temp folder.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "pclxl/checker.h"
#include "pclxl/rules.h"
#include "pclxl/writer.h"

namespace {

namespace fs = std::filesystem;
namespace op = pclxl::op;
namespace attr = pclxl::attr;

uint64_t targetBytes() {
  const char* mb = std::getenv("KQXL_BENCH_MB");
  return (mb ? std::strtoull(mb, nullptr, 10) : 1024) << 20;
}

// Pages of paths and text and a raster image each, as a document printed at
// 600 dpi looks, and as a printer takes them: the checker must call it well
// formed, or the benchmark measures its error path.
const fs::path& streamFile() {
  static const fs::path path = [] {
    fs::path p = fs::temp_directory_path() / ("kqxl-bench-" + std::to_string(targetBytes() >> 20) + "mb-v2.pxl");
    if (fs::exists(p) && fs::file_size(p) >= targetBytes()) return p;
    FILE* f = std::fopen(p.c_str(), "wb");
    std::string chunk;
    pclxl::Writer w(chunk);
    w.header("benchmark");
    w.xy(pclxl::DataType::UInt16, 600, 600, attr::UnitsPerMeasure).ubyte(0, attr::Measure).op(op::BeginSession);
    w.ubyte(0, attr::SourceType).ubyte(1, attr::DataOrg).op(op::OpenDataSource);
    std::fwrite(chunk.data(), 1, chunk.size(), f);
    uint64_t written = chunk.size();
    constexpr int kImageWidth = 512, kBlockRows = 64, kBlocks = 8;  // 32 KiB blocks of 8-bit gray
    std::string block(kImageWidth * kBlockRows, '\x5A');
    while (written < targetBytes()) {
      chunk.clear();
      w.ubyte(0, attr::Orientation).ubyte(2, attr::MediaSize).op(op::BeginPage);
      w.ubyte(pclxl::kGray, attr::ColorSpace).op(op::SetColorSpace);
      w.ubyte(0, attr::GrayLevel).op(op::SetBrushSource);
      w.ubyteArray("Courier         ", attr::FontName).real32(40, attr::CharSize).uint16(629, attr::SymbolSet);
      w.op(op::SetFont);
      for (int i = 0; i < 200; ++i) {
        w.op(op::NewPath).xy(pclxl::DataType::UInt16, i, i * 2, attr::Point).op(op::SetCursor);
        w.xy(pclxl::DataType::SInt16, 100, -50, attr::EndPoint).op(op::LinePath);
        w.op(op::PaintPath);
        w.xy(pclxl::DataType::UInt16, i, i * 2 + 40, attr::Point).op(op::SetCursor);
        w.array(pclxl::DataType::UByte, {72, 101, 108, 108, 111}, attr::TextData).op(op::Text);
      }
      w.xy(pclxl::DataType::UInt16, 100, 100, attr::Point).op(op::SetCursor);
      w.ubyte(2, attr::ColorDepth).ubyte(0, attr::ColorMapping);  // 8 bits, direct
      w.uint16(kImageWidth, attr::SourceWidth).uint16(kBlockRows * kBlocks, attr::SourceHeight);
      w.xy(pclxl::DataType::UInt16, 2048, 2048, attr::DestinationSize).op(op::BeginImage);
      for (int i = 0; i < kBlocks; ++i) {
        w.uint16(static_cast<uint16_t>(i * kBlockRows), attr::StartLine).uint16(kBlockRows, attr::BlockHeight);
        w.ubyte(0, attr::CompressMode).op(op::ReadImage).data(block);
      }
      w.op(op::EndImage).uint16(1, attr::PageCopies).op(op::EndPage);
      std::fwrite(chunk.data(), 1, chunk.size(), f);
      written += chunk.size();
    }
    chunk.clear();
    w.op(op::CloseDataSource).op(op::EndSession);
    std::fwrite(chunk.data(), 1, chunk.size(), f);
    std::fclose(f);
    return p;
  }();
  return path;
}

template <typename Consume>
void readFile(Consume consume);

// Every benchmark reads the file from the page cache, the first as well.
void warmUp() {
  static bool warm = false;
  if (!warm) readFile([](const uint8_t*, size_t) {});
  warm = true;
}

template <typename Consume>
void readFile(Consume consume) {
  FILE* f = std::fopen(streamFile().c_str(), "rb");
  static uint8_t buffer[64 * 1024];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, f)) consume(buffer, n);
  std::fclose(f);
}

void report(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(streamFile())));
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024;
}

void BM_PlainRead(benchmark::State& state) {
  warmUp();
  for (auto _ : state) {
    uint64_t sum = 0;
    readFile([&](const uint8_t* p, size_t n) { sum += p[n - 1]; });
    benchmark::DoNotOptimize(sum);
  }
  report(state);
}

void BM_Tokenize(benchmark::State& state) {
  struct Count : pclxl::TokenSink {
    uint64_t tokens = 0;
    void token(const pclxl::Token&) override { ++tokens; }
  };
  for (auto _ : state) {
    Count count;
    pclxl::Tokenizer tokenizer(count);
    readFile([&](const uint8_t* p, size_t n) { tokenizer.feed(p, n); });
    tokenizer.finish();
    benchmark::DoNotOptimize(count.tokens);
  }
  report(state);
}

void BM_Check(benchmark::State& state) {
  for (auto _ : state) {
    pclxl::Checker checker;
    FILE* f = std::fopen(streamFile().c_str(), "rb");
    pclxl::checkStream(checker, [f](uint8_t* buf, size_t size) { return std::fread(buf, 1, size, f); });
    std::fclose(f);
    if (!checker.problems().empty()) {
      auto& first = checker.problems()[0];
      std::string what = "at " + std::to_string(first.offset) + ": " + first.message;
      state.SkipWithError(what.c_str());
      break;
    }
  }
  report(state);
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Tokenize)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
