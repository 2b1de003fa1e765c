#include "core/state.h"

#include <locale.h>
#include <wctype.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>

#include "event_json.h"

namespace winsim::detail {

namespace {
State* g_current = nullptr;
thread_local DWORD t_lastError = 0;

uint64_t nextSerial() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}
}  // namespace

State& state() {
  if (!g_current) {
    std::fputs("winsim: a Win32 function was called with no machine in place\n", stderr);
    std::abort();
  }
  return *g_current;
}

State::State() : serial(nextSerial()) {}

State* current() { return g_current; }

// A thread's record is made at its first call on a machine and kept until
// the machine goes, so a count outlives the thread that made it.
ThreadRecord& threadRecord() {
  struct Cached {
    uint64_t machine = 0;
    ThreadRecord* record = nullptr;
  };
  thread_local Cached t_cached;
  State& s = state();
  if (t_cached.machine != s.serial) {
    auto record = std::make_unique<ThreadRecord>();
    record->publication.publish();
    t_cached = {s.serial, record.get()};
    QuietLock g(s.threadsMu);
    s.threads.push_back(std::move(record));
  }
  return *t_cached.record;
}
void setCurrent(State* s) { g_current = s; }

void setError(DWORD code) { t_lastError = code; }
DWORD lastError() { return t_lastError; }

namespace {
PartFactory g_factories[static_cast<size_t>(Dll::Count)];
}

bool registerPart(Dll dll, PartFactory make) {
  g_factories[static_cast<size_t>(dll)] = make;
  return true;
}

void makeParts(State& s) {
  for (size_t i = static_cast<size_t>(Dll::Count); i-- > 0;) s.parts[i] = g_factories[i]();
  for (size_t i = static_cast<size_t>(Dll::Count); i-- > 0;) s.parts[i]->start(s);
}

void endParts(State& s) {
  for (auto& part : s.parts) part->shutdown(s);
}

// ---------------------------------------------------------------- text

// Unicode's simple upper case, from the C library's UTF-8 locale (ß and
// the like, without a one-character upper case, stay).
char16_t upper(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (!utf8 || (c >= 0xD800 && c < 0xE000)) return c;
  wint_t u = towupper_l(c, utf8);
  return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
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

// ---------------------------------------------------------------- paths

std::u16string windowsDirectory() { return u"C:\\WINDOWS"; }
std::u16string tempDirectory() { return u"C:\\WINDOWS\\TEMP\\"; }

namespace {

thread_local DWORD t_pathError = ERROR_PATH_NOT_FOUND;

bool isSlash(char16_t c) { return c == u'\\' || c == u'/'; }
bool isDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool startsWith(std::u16string_view s, std::u16string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The machine's own names for itself in a UNC path.
bool isLocalServer(std::u16string_view server) {
  return equalsNoCase(server, u"localhost") || server == u"127.0.0.1" || equalsNoCase(server, kComputerName);
}

// Windows' normalization of a path's components: separators folded, "." and
// ".." resolved (never above `keep` leading components, the drive or the
// UNC server and share), a single trailing period dropped from a folder's
// name, and every trailing period and space from the last name.
std::u16string normalizedComponents(std::u16string_view head, std::u16string_view rest, bool endsWithSeparator) {
  std::vector<std::u16string> parts;
  for (size_t i = 0; i <= rest.size();) {
    size_t j = i;
    while (j < rest.size() && !isSlash(rest[j])) ++j;
    std::u16string part(rest.substr(i, j - i));
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  for (size_t k = 0; k < parts.size(); ++k) {
    std::u16string& part = parts[k];
    bool last = k + 1 == parts.size() && !endsWithSeparator;
    if (last) {
      while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.pop_back();
    } else if (part.size() > 1 && part.back() == u'.' && part[part.size() - 2] != u'.') {
      part.pop_back();
    }
  }
  std::u16string out(head);
  bool any = false;
  for (auto& part : parts)
    if (!part.empty()) {
      out += u"\\" + part;
      any = true;
    }
  if (!any) out += u"\\";
  return out;
}

}  // namespace

std::u16string normalWinPath(std::u16string_view path) {
  if (startsWith(path, u"\\\\?\\")) return std::u16string(path);  // handed to the file system as it stands
  bool endsWithSeparator = !path.empty() && isSlash(path.back());
  if (startsWith(path, u"\\\\.\\") && path.size() >= 6 && isDriveLetter(path[4]) && path[5] == u':')
    return u"\\\\.\\" + normalizedComponents(std::u16string(path.substr(4, 2)), path.substr(6), endsWithSeparator);
  if (path.size() >= 2 && isSlash(path[0]) && isSlash(path[1])) {
    std::u16string_view unc = path.substr(2);
    size_t serverEnd = 0;
    while (serverEnd < unc.size() && !isSlash(unc[serverEnd])) ++serverEnd;
    size_t shareEnd = std::min(serverEnd + 1, unc.size());
    while (shareEnd < unc.size() && !isSlash(unc[shareEnd])) ++shareEnd;
    std::u16string head = u"\\\\" + std::u16string(unc.substr(0, serverEnd));
    if (serverEnd < unc.size()) head += u"\\" + std::u16string(unc.substr(serverEnd + 1, shareEnd - serverEnd - 1));
    return normalizedComponents(head, unc.substr(shareEnd), endsWithSeparator);
  }
  if (path.size() >= 2 && path[1] == u':')
    return normalizedComponents(std::u16string(path.substr(0, 2)), path.substr(2), endsWithSeparator);
  if (!path.empty() && isSlash(path[0])) return normalizedComponents(u"C:", path, endsWithSeparator);
  // Relative to the spooler's current directory.
  return normalizedComponents(u"C:\\WINDOWS\\system32", path, endsWithSeparator);
}

std::u16string fullWinPath(std::u16string_view path) {
  std::u16string full = normalWinPath(path);
  std::u16string_view v = full;
  if (startsWith(v, u"\\\\?\\UNC\\")) return fullWinPath(u"\\\\" + std::u16string(v.substr(8)));
  if (startsWith(v, u"\\\\?\\") || startsWith(v, u"\\\\.\\")) full.erase(0, 4), v = full;
  if (v.size() >= 2 && v[1] == u':') {
    full[0] = upper(full[0]);
    return full;
  }
  if (startsWith(v, u"\\\\")) {
    // The local machine's administrative share of C: is drive C:.
    size_t serverEnd = std::min(v.find(u'\\', 2), v.size());
    size_t shareEnd = std::min(v.find(u'\\', std::min(serverEnd + 1, v.size())), v.size());
    std::u16string_view server = v.substr(2, serverEnd - 2);
    std::u16string_view share = serverEnd < v.size() ? v.substr(serverEnd + 1, shareEnd - serverEnd - 1) : u"";
    if (isLocalServer(server) && equalsNoCase(share, u"C$"))
      return shareEnd < v.size() ? u"C:" + std::u16string(v.substr(shareEnd)) : u"C:\\";
  }
  return full;
}

DWORD invalidNameError(std::u16string_view path) {
  size_t from = 0;
  bool verbatim = startsWith(path, u"\\\\?\\");
  if (verbatim || startsWith(path, u"\\\\.\\")) from = 4;
  if (verbatim && startsWith(path.substr(4), u"UNC\\")) from = 8;
  if (path.size() >= from + 2 && isDriveLetter(path[from]) && path[from + 1] == u':') from += 2;
  for (size_t i = from; i < path.size(); ++i) {
    char16_t c = path[i];
    // No alternate data streams either: the machine's drive is not NTFS.
    if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*' || c == u':')
      return ERROR_INVALID_NAME;
    if (verbatim && c == u'/') return ERROR_INVALID_NAME;  // a name's character there, and no name has one
  }
  return 0;
}

DWORD pathError() { return t_pathError; }

namespace {

// The name of `part` in the host folder `folder`, matched without regard to
// case (the name as given when there is one in that case); none when the
// folder has no such entry.
std::optional<std::string> findInFolder(NameCache& names, const fs::path& folder, std::u16string_view part) {
  std::u16string key = upper(part);
  std::string folderKey = folder.string();
  std::error_code ec;
  if (auto hint = names.find(folderKey, key); hint && fs::exists(fs::symlink_status(folder / *hint, ec))) return hint;
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

std::optional<std::string> shortNameOf(State& s, const fs::path& folder, std::u16string_view part) {
  std::string key = shortNameKey(folder, part);
  QuietLock g(s.shortNamesMu);
  auto it = s.shortNames.find(key);
  if (it == s.shortNames.end()) return std::nullopt;
  return it->second;
}

}  // namespace

bool hostPathOf(std::u16string_view winPath, fs::path* host) {
  t_pathError = invalidNameError(winPath);
  if (t_pathError) return false;
  std::u16string full = fullWinPath(winPath);
  if (full.size() < 2 || full[0] != u'C' || full[1] != u':') {
    t_pathError = startsWith(full, u"\\\\") ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND;
    return false;
  }
  t_pathError = ERROR_PATH_NOT_FOUND;
  std::vector<std::u16string_view> parts;
  std::u16string_view rest = std::u16string_view(full).substr(2);
  for (size_t i = 0; i < rest.size();) {
    size_t j = std::min(rest.find(u'\\', i), rest.size());
    if (j > i) parts.push_back(rest.substr(i, j - i));
    i = j + 1;
  }
  for (auto part : parts)  // left as they stand only by \\?\, where no name may be one
    if (part == u"." || part == u"..") return t_pathError = ERROR_INVALID_NAME, false;
  auto& s = state();
  if (rememberedPath(s.names, s.root, parts, host)) return true;
  // Once a folder on the way is missing, the rest keep the names given.
  fs::path cur = s.root;
  bool exists = true;
  for (auto part : parts) {
    std::optional<std::string> found = exists ? findInFolder(s.names, cur, part) : std::nullopt;
    if (!found && exists) found = shortNameOf(s, cur, part);
    exists = found.has_value();
    cur /= found ? *found : toUtf8(part);
  }
  *host = std::move(cur);
  return true;
}

std::string shortNameKey(const fs::path& folder, std::u16string_view shortName) {
  return folder.string() + '\n' + toUtf8(upper(shortName));
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
  on_ = s.logApi.load(std::memory_order_relaxed) && s.observer.api;
  countFaultPoint(function);
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
  std::string line =
      "{\"event\":\"api\",\"function\":" + jsonString(std::string_view(function_)) + ",\"args\":{" + args_ + "}";
  if (!outs_.empty()) line += ",\"out\":{" + outs_ + "}";
  line += ",\"result\":" + result + ",\"error\":" + std::to_string(t_lastError) + "}";
  auto& s = state();
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
