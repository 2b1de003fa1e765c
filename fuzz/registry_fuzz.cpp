// libFuzzer target: the simulated machine's registry file reader on
// arbitrary bytes: the file as C:\\winsim\\registry.reg, loaded by a machine
// starting on it and saved as it stops; what it saved it reads back to the
// same file.
#include <winsim/machine.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The registry as a machine saves it, after loading `file`.
std::string savedRegistry(const std::filesystem::path& root) {
  { winsim::Machine m(root); }  // loads, and saves as it stops
  std::ifstream in(root / "winsim" / "registry.reg", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void fuzzRegistry(const uint8_t* data, size_t size) {
  static const std::filesystem::path root = [] {
    char pattern[] = "/tmp/kqxl-fuzz-XXXXXX";
    auto r = std::filesystem::path(mkdtemp(pattern)) / "machine";
    winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, r);
    return r;
  }();
  std::ofstream(root / "winsim" / "registry.reg", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::string once = savedRegistry(root);
  if (savedRegistry(root) != once) __builtin_trap();  // what it saved it reads back the same
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzRegistry(data, size);
  return 0;
}
