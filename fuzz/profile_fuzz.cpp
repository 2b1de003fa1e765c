// libFuzzer target: the simulated machine's profile (INI) file reader on
// arbitrary bytes: the file read through every section and key, then written
// to and read again.
#include <winsim/machine.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_machine.h"

namespace {

const char16_t kIni[] = u"C:\\fuzz\\fuzz.ini";

// Each name of a double-NUL-terminated list.
std::vector<std::u16string> namesIn(const WCHAR* list) {
  std::vector<std::u16string> names;
  for (const WCHAR* p = list; *p; p += names.back().size() + 1) names.emplace_back(p);
  return names;
}

void readProfile() {
  WCHAR sections[4096], keys[4096], value[512];
  GetPrivateProfileStringW(nullptr, nullptr, u"", sections, 4096, kIni);
  for (auto& section : namesIn(sections)) {
    GetPrivateProfileStringW(section.c_str(), nullptr, u"", keys, 4096, kIni);
    for (auto& key : namesIn(keys)) {
      GetPrivateProfileStringW(section.c_str(), key.c_str(), u"", value, 512, kIni);
      (void)GetPrivateProfileIntW(section.c_str(), key.c_str(), 0, kIni);
    }
  }
}

void fuzzProfile(const uint8_t* data, size_t size) {
  winsim::Machine& m = fuzz::Machine();
  m.writeFile(kIni, std::string_view(reinterpret_cast<const char*>(data), size));
  readProfile();
  WritePrivateProfileStringW(u"Fuzz", u"Key", u"value", kIni);
  WritePrivateProfileStringW(u"Fuzz", nullptr, nullptr, kIni);
  readProfile();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzProfile(data, size);
  return 0;
}
