// advapi32's part of the machine, and what a host sets in the registry.
#include "advapi32/state.h"

#include <cstring>

namespace winsim::detail {

namespace {
const bool kRegistered = registerPart(Dll::Advapi32, [] { return std::unique_ptr<DllPart>(new Advapi32State); });
}  // namespace

void Advapi32State::start(State& s) { loadRegistry(s); }

void Advapi32State::leaks(std::vector<Leak>& r) const {
  for (auto& [h, k] : keys.all()) {
    std::u16string path = u"HKEY_CURRENT_USER";
    for (auto& part : k->path) path += u"\\" + part;
    r.push_back({"handle", "key " + toUtf8(path)});
  }
}

void Advapi32State::count(Snapshot& snap) const { snap.handles += keys.size(); }

}  // namespace winsim::detail

namespace winsim {

using namespace detail;

namespace {

RegNode& createKey(State& s, std::u16string_view key) {
  RegNode* node = &advapi32(s).hkcu;
  auto parts = splitKeyPath(key);
  if (!parts.empty() && (equalsNoCase(parts[0], u"HKCU") || equalsNoCase(parts[0], u"HKEY_CURRENT_USER")))
    parts.erase(parts.begin());
  for (auto& part : parts) {
    auto [it, inserted] = node->subkeys.try_emplace(part);
    if (inserted) it->second.name = part;
    node = &it->second;
  }
  return *node;
}

void setValue(State& s, std::u16string_view key, std::u16string_view name, DWORD type, std::vector<uint8_t> data) {
  RegNode& node = createKey(s, key);
  RegValue& v = node.values[std::u16string(name)];
  if (v.name.empty()) v.name = name;
  v.type = type;
  v.data = std::move(data);
  saveRegistry(s);
}

}  // namespace

void Machine::setRegistryString(std::u16string_view key, std::u16string_view name, std::u16string_view value) {
  std::unique_lock g(advapi32(state()).hiveMu);
  std::vector<uint8_t> data((value.size() + 1) * 2, 0);
  std::memcpy(data.data(), value.data(), value.size() * 2);
  setValue(state(), key, name, REG_SZ, std::move(data));
}

void Machine::setRegistryDword(std::u16string_view key, std::u16string_view name, DWORD value) {
  std::unique_lock g(advapi32(state()).hiveMu);
  std::vector<uint8_t> data(4);
  std::memcpy(data.data(), &value, 4);
  setValue(state(), key, name, REG_DWORD, std::move(data));
}

void Machine::deleteRegistryValue(std::u16string_view key, std::u16string_view name) {
  std::unique_lock g(advapi32(state()).hiveMu);
  createKey(state(), key).values.erase(std::u16string(name));
  saveRegistry(state());
}

std::optional<std::u16string> Machine::registryString(std::u16string_view key, std::u16string_view name) const {
  std::shared_lock g(advapi32(state()).hiveMu);
  auto parts = splitKeyPath(key);
  if (!parts.empty() && (equalsNoCase(parts[0], u"HKCU") || equalsNoCase(parts[0], u"HKEY_CURRENT_USER")))
    parts.erase(parts.begin());
  RegNode* node = findKey(advapi32(state()).hkcu, parts);
  if (!node) return std::nullopt;
  auto it = node->values.find(std::u16string(name));
  if (it == node->values.end() || it->second.type != REG_SZ) return std::nullopt;
  std::u16string text(it->second.data.size() / 2, u'\0');
  std::memcpy(text.data(), it->second.data.data(), text.size() * 2);
  return std::u16string(text.c_str());
}

}  // namespace winsim
