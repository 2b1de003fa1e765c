// The names a case-insensitive lookup has found in the machine's folders,
// so that resolving a path does not list every folder on the way. An entry is
// a hint: the lookup trusts it only after a stat shows the name is still
// there, so whatever changes the folders (winsim, a test, the user) is seen.
#pragma once

#include "core/quiet_mutex.h"
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace winsim::detail {

class NameCache {
 public:
  // `upperName` is the name as the lookup compares it, upper-cased.
  std::optional<std::string> find(const std::string& folder, std::u16string_view upperName) const;
  void remember(const std::string& folder, std::u16string_view upperName, const std::string& name);
  void forget(const std::string& folder, std::u16string_view upperName);

 private:
  // Temp files' unique names would otherwise pile up over a long run.
  static constexpr size_t kLimit = 4096;
  static std::string key(const std::string& folder, std::u16string_view upperName);

  mutable QuietMutex mu_;
  std::unordered_map<std::string, std::string> names_;
};

}  // namespace winsim::detail
