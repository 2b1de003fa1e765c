// advapi32's part of the machine: HKEY_CURRENT_USER and its open keys,
// kept in the machine's registry file.
#pragma once

#include <shared_mutex>

#include "core/handle_table.h"
#include "core/state.h"

namespace winsim::detail {

struct RegValue {
  std::u16string name;  // as first written
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
};

struct RegNode {
  std::u16string name;
  std::map<std::u16string, RegNode, CaseLess> subkeys;
  std::map<std::u16string, RegValue, CaseLess> values;
};

struct OpenKey {
  std::vector<std::u16string> path;  // from HKEY_CURRENT_USER
  REGSAM access = 0;
};

struct Advapi32State final : DllPart {
  static constexpr Dll kDll = Dll::Advapi32;

  std::shared_mutex hiveMu;  // the hive: read shared, changed (and saved) alone
  RegNode hkcu;
  HandleTable<OpenKey> keys{0x3000, 4};

  void start(State& s) override;  // the registry file
  void leaks(std::vector<Leak>& out) const override;
  void count(Snapshot& snap) const override;
};

inline Advapi32State& advapi32(State& s) { return part<Advapi32State>(s); }
inline const Advapi32State& advapi32(const State& s) { return part<Advapi32State>(s); }

// Registry persistence.
void loadRegistry(State& s);
void saveRegistry(const State& s);
RegNode* findKey(RegNode& root, const std::vector<std::u16string>& path);
std::vector<std::u16string> splitKeyPath(std::u16string_view path);

}  // namespace winsim::detail
