// The simulated machine the fuzz targets play on: made once per process
// from the default machine in a temporary folder, every document discarded;
// and the check every job ends with: nothing left behind.
#pragma once

#include <winsim/machine.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace fuzz {

class Discard : public winsim::DocumentSink {
 public:
  bool write(const void*, size_t) override { return true; }
};

inline std::filesystem::path MachineFolder() {
  static std::filesystem::path root = [] {
    char pattern[] = "/tmp/kqxl-fuzz-XXXXXX";
    std::filesystem::path r = std::filesystem::path(mkdtemp(pattern)) / "machine";
    winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, r);
    return r;
  }();
  return root;
}

inline winsim::Machine& Machine() {
  static std::unique_ptr<winsim::Machine> m = [] {
    auto machine = std::make_unique<winsim::Machine>(MachineFolder());
    machine->setKeepHistory(false);
    machine->setSinkFactory([](int, std::u16string_view, std::string*) { return std::make_unique<Discard>(); });
    return machine;
  }();
  return *m;
}

inline void AbortOnLeaks(const winsim::Machine& m) {
  auto leaks = m.leaks();
  if (leaks.empty() && m.tempFiles().empty()) return;
  for (auto& l : leaks) std::fprintf(stderr, "left behind: %s %s\n", l.kind.c_str(), l.what.c_str());
  std::abort();
}

}  // namespace fuzz
