// The folder a benchmark works in: in the temp folder, named for the
// benchmark's program and process, made at first use; RunAndClean removes
// it once the benchmarks have run.
#pragma once

#include <benchmark/benchmark.h>
#include <errno.h>  // program_invocation_short_name
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace bench {

inline const std::filesystem::path& Scratch() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() /
             ("kqxl-" + std::string(program_invocation_short_name) + "-" + std::to_string(getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

inline int RunAndClean(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(Scratch(), ec);
  return 0;
}

}  // namespace bench
