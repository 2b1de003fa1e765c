#include "core/name_cache.h"

namespace winsim::detail {

std::string NameCache::key(const std::string& folder, std::u16string_view upperName) {
  std::string k = folder;
  k.push_back('\0');
  k.append(reinterpret_cast<const char*>(upperName.data()), upperName.size() * sizeof(char16_t));
  return k;
}

std::optional<std::string> NameCache::find(const std::string& folder, std::u16string_view upperName) const {
  QuietLock g(mu_);
  auto it = names_.find(key(folder, upperName));
  if (it == names_.end()) return std::nullopt;
  return it->second;
}

void NameCache::remember(const std::string& folder, std::u16string_view upperName, const std::string& name) {
  QuietLock g(mu_);
  if (names_.size() >= kLimit) names_.clear();
  names_[key(folder, upperName)] = name;
}

void NameCache::forget(const std::string& folder, std::u16string_view upperName) {
  QuietLock g(mu_);
  names_.erase(key(folder, upperName));
}

}  // namespace winsim::detail
