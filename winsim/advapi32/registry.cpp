// The HKEY_CURRENT_USER hive, kept in the machine folder as a
// "Windows Registry Editor Version 5.00" file (UTF-8 here; a UTF-16LE file
// with a byte-order mark, as regedit writes it, is read as well).
#include <cstdio>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "advapi32/state.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

constexpr char16_t kHive[] = u"HKEY_CURRENT_USER";

// Registry calls return their error rather than set it.
LSTATUS injectedStatus(ApiCall& log) { return log.fails() ? static_cast<LSTATUS>(GetLastError()) : ERROR_SUCCESS; }

bool isPredefined(HKEY h) {
  auto v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
  return v >= 0x80000000u && v <= 0x80000006u;
}

fs::path registryFile(const State& s) { return s.root / "winsim" / "registry.reg"; }

// The open key a handle names, or null (HKEY_CURRENT_USER gives the root).
bool resolveHandle(State& s, HKEY h, std::vector<std::u16string>* path, REGSAM* access) {
  if (h == HKEY_CURRENT_USER) {
    path->clear();
    *access = KEY_ALL_ACCESS;
    return true;
  }
  std::shared_ptr<OpenKey> key = advapi32(s).keys.find(h);
  if (!key) return false;
  *path = key->path;
  *access = key->access;
  return true;
}

std::string escapeRegString(std::u16string_view s) {
  std::string r;
  for (char c : toUtf8(s)) {
    if (c == '\\' || c == '"') r += '\\';
    r += c;
  }
  return r;
}

std::string hexBytes(const std::vector<uint8_t>& data) {
  std::string r;
  char buf[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", data[i]);
    if (i) r += ',';
    r += buf;
  }
  return r;
}

// A REG_SZ value is shown as text when it is exactly one NUL-terminated
// string; anything else keeps its raw bytes.
std::string formatValue(const RegValue& v) {
  if (v.type == REG_SZ && v.data.size() >= 2 && v.data.size() % 2 == 0) {
    std::u16string text(v.data.size() / 2, u'\0');
    std::memcpy(text.data(), v.data.data(), v.data.size());
    if (text.back() == 0 && text.find(u'\0') == text.size() - 1) {
      text.pop_back();
      return "\"" + escapeRegString(text) + "\"";
    }
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    uint32_t n;
    std::memcpy(&n, v.data.data(), 4);
    char buf[24];
    std::snprintf(buf, sizeof buf, "dword:%08x", n);
    return buf;
  }
  if (v.type == REG_BINARY) return "hex:" + hexBytes(v.data);
  char head[16];
  std::snprintf(head, sizeof head, "hex(%x):", v.type);
  return head + hexBytes(v.data);
}

void writeNode(std::ostringstream& out, const RegNode& node, const std::u16string& path) {
  if (!path.empty() && (!node.values.empty() || node.subkeys.empty())) {
    out << "[" << toUtf8(path) << "]\n";
    for (auto& [name, v] : node.values)
      out << (v.name.empty() ? std::string("@") : "\"" + escapeRegString(v.name) + "\"") << "=" << formatValue(v)
          << "\n";
    out << "\n";
  }
  for (auto& [name, child] : node.subkeys)
    writeNode(out, child, (path.empty() ? std::u16string(kHive) : path) + u"\\" + child.name);
}

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return toUtf8(text);
  }
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  return bytes;
}

// "text" with \\ and \" escapes; returns the position after the closing quote.
size_t parseQuoted(const std::string& line, size_t at, std::string* out) {
  out->clear();
  for (size_t i = at + 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      out->push_back(line[++i]);
    } else if (line[i] == '"') {
      return i + 1;
    } else {
      out->push_back(line[i]);
    }
  }
  return std::string::npos;
}

std::vector<uint8_t> parseHex(const std::string& text) {
  std::vector<uint8_t> r;
  std::string digits;
  auto flush = [&] {
    if (!digits.empty()) r.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
    digits.clear();
  };
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    else if (c == ',') flush();
  }
  flush();
  return r;
}

bool parseValue(const std::string& value, RegValue* v) {
  if (value.size() >= 2 && value[0] == '"') {
    std::string text;
    if (parseQuoted(value, 0, &text) == std::string::npos) return false;
    std::u16string wide = fromUtf8(text);
    wide.push_back(0);
    v->type = REG_SZ;
    v->data.resize(wide.size() * 2);
    std::memcpy(v->data.data(), wide.data(), v->data.size());
    return true;
  }
  if (value.rfind("dword:", 0) == 0) {
    uint32_t n = static_cast<uint32_t>(std::stoul(value.substr(6), nullptr, 16));
    v->type = REG_DWORD;
    v->data.resize(4);
    std::memcpy(v->data.data(), &n, 4);
    return true;
  }
  if (value.rfind("hex:", 0) == 0) {
    v->type = REG_BINARY;
    v->data = parseHex(value.substr(4));
    return true;
  }
  if (value.rfind("hex(", 0) == 0) {
    size_t close = value.find("):");
    if (close == std::string::npos) return false;
    v->type = static_cast<DWORD>(std::stoul(value.substr(4, close - 4), nullptr, 16));
    v->data = parseHex(value.substr(close + 2));
    return true;
  }
  return false;
}

void save(State& s) { saveRegistry(s); }

// The key a handle names, if it was opened with the access a call needs.
RegNode* keyFor(State& s, HKEY h, REGSAM needed, LSTATUS* rc) {
  std::vector<std::u16string> path;
  REGSAM access;
  RegNode* node = nullptr;
  if (!resolveHandle(s, h, &path, &access)) *rc = ERROR_INVALID_HANDLE;
  else if (!(access & needed)) *rc = ERROR_ACCESS_DENIED;
  else if (!(node = findKey(advapi32(s).hkcu, path))) *rc = ERROR_FILE_NOT_FOUND;
  else *rc = ERROR_SUCCESS;
  return node;
}

}  // namespace

namespace winsim::detail {

std::vector<std::u16string> splitKeyPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find(u'\\', i);
    if (j == std::u16string_view::npos) j = path.size();
    if (j > i) parts.emplace_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

RegNode* findKey(RegNode& root, const std::vector<std::u16string>& path) {
  RegNode* node = &root;
  for (auto& part : path) {
    auto it = node->subkeys.find(part);
    if (it == node->subkeys.end()) return nullptr;
    node = &it->second;
  }
  return node;
}

void loadRegistry(State& s) {
  advapi32(s).hkcu = RegNode{};
  std::error_code ec;
  if (!fs::is_regular_file(registryFile(s), ec)) return;
  std::istringstream in(readText(registryFile(s)));
  std::string line, pending;
  RegNode* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\\' && line.find('=') != std::string::npos) {
      pending += line.substr(0, line.size() - 1);
      continue;
    }
    if (!pending.empty()) {
      size_t start = line.find_first_not_of(" \t");
      line = pending + (start == std::string::npos ? "" : line.substr(start));
      pending.clear();
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::u16string path = fromUtf8(line.substr(1, line.rfind(']') - 1));
      auto parts = splitKeyPath(path);
      current = nullptr;
      if (parts.empty() || !equalsNoCase(parts[0], kHive)) continue;
      current = &advapi32(s).hkcu;
      for (size_t i = 1; i < parts.size(); ++i) {
        auto& child = current->subkeys[parts[i]];
        if (child.name.empty()) child.name = parts[i];
        current = &child;
      }
      continue;
    }
    if (!current) continue;
    std::string name;
    size_t eq;
    if (line[0] == '@') {
      eq = line.find('=');
    } else if (line[0] == '"') {
      size_t end = parseQuoted(line, 0, &name);
      if (end == std::string::npos) continue;
      eq = line.find('=', end);
    } else {
      continue;
    }
    if (eq == std::string::npos) continue;
    RegValue v;
    v.name = fromUtf8(name);
    try {
      if (parseValue(line.substr(eq + 1), &v)) current->values[v.name] = v;
    } catch (const std::exception&) {
      // a value a person mistyped is passed over
    }
  }
}

void saveRegistry(const State& s) {
  std::ostringstream out;
  out << "Windows Registry Editor Version 5.00\n\n";
  writeNode(out, advapi32(s).hkcu, u"");
  std::error_code ec;
  fs::create_directories(registryFile(s).parent_path(), ec);
  std::ofstream file(registryFile(s), std::ios::binary | std::ios::trunc);
  file << out.str();
}

}  // namespace winsim::detail

extern "C" {

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM sam, LPSECURITY_ATTRIBUTES,
                               PHKEY result, LPDWORD disposition) {
  ApiCall log("RegCreateKeyExW");
  log.ptr("hKey", hKey).arg("lpSubKey", subKey).hex("samDesired", sam);
  auto& s = state();
  std::vector<std::u16string> path;
  REGSAM access;
  LSTATUS rc = injectedStatus(log);
  if (rc != ERROR_SUCCESS) {
  } else if (!result) {
    rc = ERROR_INVALID_PARAMETER;
  } else if (!resolveHandle(s, hKey, &path, &access)) {
    rc = isPredefined(hKey) ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE;
  } else if (subKey && subKey[0] == u'\\') {
    rc = ERROR_BAD_PATHNAME;
  } else {
    std::unique_lock g(advapi32(s).hiveMu);
    RegNode* node = findKey(advapi32(s).hkcu, path);
    if (!node) {
      rc = ERROR_KEY_DELETED;
    } else {
      bool created = false;
      for (auto& part : splitKeyPath(view(subKey))) {
        auto [it, inserted] = node->subkeys.try_emplace(part);
        if (inserted) {
          it->second.name = part;
          created = true;
        }
        node = &it->second;
        path.push_back(part);
      }
      if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
      *result = static_cast<HKEY>(advapi32(s).keys.add(OpenKey{path, sam}));
      if (created) save(s);
    }
  }
  if (rc != ERROR_SUCCESS && result) *result = nullptr;
  log.result(rc);
  return rc;
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR subKey, DWORD, REGSAM sam, PHKEY result) {
  ApiCall log("RegOpenKeyExW");
  log.ptr("hKey", hKey).arg("lpSubKey", subKey).hex("samDesired", sam);
  auto& s = state();
  std::vector<std::u16string> path;
  REGSAM access;
  LSTATUS rc = injectedStatus(log);
  if (rc != ERROR_SUCCESS) {
  } else if (!result) {
    rc = ERROR_INVALID_PARAMETER;
  } else if (!resolveHandle(s, hKey, &path, &access)) {
    rc = isPredefined(hKey) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  } else {
    for (auto& part : splitKeyPath(view(subKey))) path.push_back(part);
    bool found;
    {
      std::shared_lock g(advapi32(s).hiveMu);
      found = findKey(advapi32(s).hkcu, path) != nullptr;
    }
    if (!found) {
      rc = ERROR_FILE_NOT_FOUND;
    } else {
      *result = static_cast<HKEY>(advapi32(s).keys.add(OpenKey{path, sam}));
    }
  }
  if (rc != ERROR_SUCCESS && result) *result = nullptr;
  log.result(rc);
  return rc;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  ApiCall log("RegQueryValueExW");
  log.ptr("hKey", hKey).arg("lpValueName", name).arg("cbData", size ? static_cast<long long>(*size) : -1);
  auto& s = state();
  std::shared_lock g(advapi32(s).hiveMu);
  LSTATUS rc = injectedStatus(log);
  RegNode* node = rc == ERROR_SUCCESS ? keyFor(s, hKey, KEY_QUERY_VALUE, &rc) : nullptr;
  if (!node) {
  } else if (data && !size) {
    rc = ERROR_INVALID_PARAMETER;
  } else {
    auto it = node->values.find(std::u16string(view(name)));
    if (it == node->values.end()) {
      rc = ERROR_FILE_NOT_FOUND;
    } else {
      const RegValue& v = it->second;
      if (type) *type = v.type;
      DWORD need = static_cast<DWORD>(v.data.size());
      if (data && *size < need) {
        rc = ERROR_MORE_DATA;
      } else if (data) {
        std::memcpy(data, v.data.data(), need);
      }
      if (size) *size = need;
    }
  }
  log.result(rc);
  return rc;
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  ApiCall log("RegSetValueExW");
  log.ptr("hKey", hKey).arg("lpValueName", name).arg("dwType", type).arg("cbData", size);
  auto& s = state();
  std::unique_lock g(advapi32(s).hiveMu);
  LSTATUS rc = injectedStatus(log);
  RegNode* node = rc == ERROR_SUCCESS ? keyFor(s, hKey, KEY_SET_VALUE, &rc) : nullptr;
  if (!node) {
  } else if (!data && size) {
    rc = ERROR_INVALID_PARAMETER;
  } else {
    std::u16string key(view(name));
    RegValue& v = node->values[key];
    if (v.name.empty()) v.name = key;
    v.type = type;
    v.data.assign(data, data + size);
    save(s);
  }
  log.result(rc);
  return rc;
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR name) {
  ApiCall log("RegDeleteValueW");
  log.ptr("hKey", hKey).arg("lpValueName", name);
  auto& s = state();
  std::unique_lock g(advapi32(s).hiveMu);
  LSTATUS rc = injectedStatus(log);
  RegNode* node = rc == ERROR_SUCCESS ? keyFor(s, hKey, KEY_SET_VALUE, &rc) : nullptr;
  if (node && !node->values.erase(std::u16string(view(name)))) rc = ERROR_FILE_NOT_FOUND;
  else if (node) save(s);
  log.result(rc);
  return rc;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  ApiCall log("RegCloseKey");
  log.ptr("hKey", hKey);
  LSTATUS rc = injectedStatus(log);  // the key is closed all the same
  if (!isPredefined(hKey) && !advapi32(state()).keys.take(hKey)) rc = ERROR_INVALID_HANDLE;
  log.result(rc);
  return rc;
}

}  // extern "C"
