#include "core/state.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>

#include "event_json.h"

namespace winsim::detail {

namespace {
State* g_current = nullptr;
thread_local DWORD t_lastError = 0;
}  // namespace

State& state() {
  if (!g_current) {
    std::fputs("winsim: a Win32 function was called with no machine in place\n", stderr);
    std::abort();
  }
  return *g_current;
}

std::unique_lock<std::recursive_mutex> lock() { return std::unique_lock(state().mu); }

State* current() { return g_current; }
void setCurrent(State* s) { g_current = s; }

void setError(DWORD code) { t_lastError = code; }

// ---------------------------------------------------------------- text

char16_t upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return c - 32;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
      c != 0x17F) {  // Latin Extended-A pairs
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddUpper ? (c % 2 == 0) : (c % 2 == 1)) return c - 1;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;  // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 32;                // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;  // full-width Latin
  return c;
}

std::u16string upper(std::u16string_view s) {
  std::u16string r(s);
  for (auto& c : r) c = upper(c);
  return r;
}

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

bool CaseLess::operator()(const std::u16string& a, const std::u16string& b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = upper(a[i]), y = upper(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool globMatch(std::u16string_view p, std::u16string_view t) {
  size_t pi = 0, ti = 0, star = std::u16string_view::npos, mark = 0;
  while (ti < t.size()) {
    if (pi < p.size() && (p[pi] == u'?' || upper(p[pi]) == upper(t[ti]))) {
      ++pi;
      ++ti;
    } else if (pi < p.size() && p[pi] == u'*') {
      star = pi++;
      mark = ti;
    } else if (star != std::u16string_view::npos) {
      pi = star + 1;
      ti = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

std::u16string_view view(LPCWSTR s) { return s ? std::u16string_view(s) : std::u16string_view(); }

std::string jsonString(std::string_view s) { return JsonString(s); }


// ---------------------------------------------------------------- faults

bool faultHits(const char* function, std::u16string_view path) {
  auto& s = state();
  std::lock_guard g(s.mu);
  auto point = s.faultPoints.find(std::string_view(function));  // no string made on every call
  if (point == s.faultPoints.end()) point = s.faultPoints.emplace(function, 0).first;
  ++point->second;
  for (auto& rule : s.faults) {
    if (rule.spent || rule.plan.function != function || rule.thread != std::this_thread::get_id()) continue;
    if (!rule.plan.pathPattern.empty() && !globMatch(rule.plan.pathPattern, path)) continue;
    ++rule.seen;
    if (rule.plan.every || rule.seen == rule.plan.nth) {
      rule.spent = !rule.plan.every;
      ++s.faultsFired;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- paths

std::u16string windowsDirectory() { return u"C:\\WINDOWS"; }
std::u16string tempDirectory() { return u"C:\\WINDOWS\\TEMP\\"; }

std::u16string fullWinPath(std::u16string_view path) {
  std::u16string p(path);
  for (auto& c : p)
    if (c == u'/') c = u'\\';
  std::u16string drive = u"C:";
  std::u16string rest;
  if (p.size() >= 2 && p[1] == u':') {
    drive = std::u16string(1, upper(p[0])) + u":";
    rest = p.substr(2);
    if (rest.empty() || rest[0] != u'\\') rest = u"\\" + rest;
  } else if (!p.empty() && p[0] == u'\\') {
    rest = p;
  } else {
    rest = u"\\WINDOWS\\system32\\" + p;  // the spooler's current directory
  }
  std::vector<std::u16string> parts;
  size_t i = 0;
  while (i <= rest.size()) {
    size_t j = rest.find(u'\\', i);
    if (j == std::u16string::npos) j = rest.size();
    std::u16string part = rest.substr(i, j - i);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::u16string out = drive;
  for (auto& part : parts) out += u"\\" + part;
  if (parts.empty()) out += u"\\";
  return out;
}

namespace {

// The name of `part` in the host folder `folder`, matched without regard to
// case (the name as given when there is one in that case); none when the
// folder has no such entry.
std::optional<std::string> findInFolder(NameCache& names, const fs::path& folder, std::u16string_view part) {
  std::u16string key = upper(part);
  std::string folderKey = folder.string();
  std::error_code ec;
  if (auto hint = names.find(folderKey, key); hint && fs::exists(fs::symlink_status(folder / *hint, ec)))
    return hint;
  // Most names come in the case they were made in: one stat, no listing.
  std::string given = toUtf8(part);
  if (fs::exists(fs::symlink_status(folder / given, ec))) {
    names.remember(folderKey, key, given);
    return given;
  }
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (equalsNoCase(fromUtf8(name), part)) {
      names.remember(folderKey, key, name);
      return name;
    }
  }
  names.forget(folderKey, key);
  return std::nullopt;
}

// The path from remembered names alone, when it is all remembered and there.
bool rememberedPath(const NameCache& names, const fs::path& root, const std::vector<std::u16string_view>& parts,
                    fs::path* host) {
  fs::path cur = root;
  for (auto part : parts) {
    auto name = names.find(cur.string(), upper(part));
    if (!name) return false;
    cur /= *name;
  }
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(cur, ec))) return false;
  *host = std::move(cur);
  return true;
}

}  // namespace

bool hostPathOf(std::u16string_view winPath, fs::path* host) {
  std::u16string full = fullWinPath(winPath);
  if (full.size() < 2 || full[0] != u'C') return false;
  std::vector<std::u16string_view> parts;
  std::u16string_view rest = std::u16string_view(full).substr(2);
  for (size_t i = 0; i < rest.size();) {
    size_t j = std::min(rest.find(u'\\', i), rest.size());
    if (j > i) parts.push_back(rest.substr(i, j - i));
    i = j + 1;
  }
  auto g = lock();
  auto& s = state();
  flushWrites(s);  // whatever looks a file up by its path sees what was written to it
  forgetReads(s);  // and may change it
  if (rememberedPath(s.names, s.root, parts, host)) return true;
  // Once a folder on the way is missing, the rest keep the names given.
  fs::path cur = s.root;
  bool exists = true;
  for (auto part : parts) {
    std::optional<std::string> found = exists ? findInFolder(s.names, cur, part) : std::nullopt;
    exists = found.has_value();
    cur /= found ? *found : toUtf8(part);
  }
  *host = std::move(cur);
  return true;
}

void forgetName(const fs::path& host) {
  state().names.forget(host.parent_path().string(), upper(fromUtf8(host.filename().string())));
}

std::string canonicalKey(const fs::path& host) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(host, ec);
  return ec ? host.lexically_normal().string() : c.string();
}

// ---------------------------------------------------------------- API log

ApiCall::ApiCall(const char* function) : on_(false), function_(function) {
  auto& s = state();
  std::lock_guard g(s.mu);
  on_ = s.logApi && s.observer.api;
}

void ApiCall::field(const char* name, const std::string& json) {
  if (!args_.empty()) args_ += ",";
  args_ += jsonString(std::string_view(name)) + ":" + json;
}

ApiCall& ApiCall::arg(const char* name, std::u16string_view value) {
  if (on_) field(name, jsonString(value));
  return *this;
}
ApiCall& ApiCall::arg(const char* name, LPCWSTR value) {
  if (on_) field(name, value ? jsonString(std::u16string_view(value)) : "null");
  return *this;
}
ApiCall& ApiCall::arg(const char* name, LPCSTR value) {
  if (on_) field(name, value ? jsonString(std::string_view(value)) : "null");
  return *this;
}
ApiCall& ApiCall::arg(const char* name, long long value) {
  if (on_) field(name, std::to_string(value));
  return *this;
}
ApiCall& ApiCall::hex(const char* name, unsigned long long value) {
  if (on_) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "\"0x%llx\"", value);
    field(name, buf);
  }
  return *this;
}
ApiCall& ApiCall::ptr(const char* name, const void* value) {
  if (!on_) return *this;
  if (!value) {
    field(name, "null");
    return *this;
  }
  return hex(name, reinterpret_cast<uintptr_t>(value));
}
ApiCall& ApiCall::out(const char* name, std::u16string_view value) {
  if (on_) {
    if (!outs_.empty()) outs_ += ",";
    outs_ += jsonString(std::string_view(name)) + ":" + jsonString(value);
  }
  return *this;
}

void ApiCall::emit(const std::string& result) {
  if (!on_) return;
  std::string line = "{\"event\":\"api\",\"function\":" + jsonString(std::string_view(function_)) +
                     ",\"args\":{" + args_ + "}";
  if (!outs_.empty()) line += ",\"out\":{" + outs_ + "}";
  line += ",\"result\":" + result + ",\"error\":" + std::to_string(t_lastError) + "}";
  auto& s = state();
  std::lock_guard g(s.mu);
  if (s.observer.api) s.observer.api(line);
}

void ApiCall::result(long long value) { emit(std::to_string(value)); }
void ApiCall::resultHex(unsigned long long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "\"0x%llx\"", value);
  emit(buf);
}
void ApiCall::resultPtr(const void* value) {
  if (!value) return emit("null");
  resultHex(reinterpret_cast<uintptr_t>(value));
}
void ApiCall::resultNone() { emit("null"); }

}  // namespace winsim::detail

namespace winsim {
std::string jsonString(std::u16string_view s) { return detail::jsonString(toUtf8(s)); }
}  // namespace winsim

using namespace winsim::detail;

extern "C" {

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD code) { t_lastError = code; }

}  // extern "C"
