// Profile (INI) files with Windows' rules: lines ending in CR, LF or both,
// names compared without regard to case, blanks around names and values
// trimmed, one pair of enclosing quotes removed, no comment syntax (a line
// starting with ';' is a key like another), ANSI files in the machine's code
// page or UTF-16LE with a BOM. The calls open the file as any program does,
// so other handles' share modes apply to them.
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <shared_mutex>

#include "kernel32/state.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view trim(std::u16string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string_view unquote(std::u16string_view s) {
  if (s.size() >= 2 && (s.front() == u'"' || s.front() == u'\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

class IniDocument {
 public:
  // False, with the last error set, for a file that cannot be opened.
  bool load(std::u16string_view winPath) {
    std::string bytes;
    if (!readWholeFile(winPath, &bytes)) return false;
    parse(bytes);
    return true;
  }

  // A host file, for the machine's own readers (no call of the component's).
  bool loadHost(const fs::path& host) {
    std::error_code ec;
    if (!fs::is_regular_file(host, ec)) return false;
    std::ifstream in(host, std::ios::binary);
    if (!in) return false;
    parse(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    return true;
  }

  void parse(const std::string& bytes) {
    loaded_ = bytes;
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
      unicode_ = true;
      for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    } else {
      decodeAnsi(kernel32(state()).acp, bytes, &text, false);
    }
    size_t i = 0;
    while (i < text.size()) {
      size_t j = text.find_first_of(u"\r\n", i);
      if (j == std::u16string::npos) j = text.size();
      lines_.push_back(text.substr(i, j - i));
      i = j + (text.compare(j, 2, u"\r\n") == 0 ? 2 : 1);
    }
  }

  // A value written again as it was leaves the file alone: the driver
  // writes its user id at every job, and rewriting a file in place
  // makes the host file system flush it.
  bool unchanged() const { return unchanged(encoded()); }

  bool save(std::u16string_view winPath) const {
    std::string bytes = encoded();
    return unchanged(bytes) || replaceWholeFile(winPath, bytes);
  }

  std::string encoded() const {
    std::u16string text;
    for (auto& line : lines_) text += line + u"\r\n";
    std::string bytes;
    if (unicode_) {
      bytes = "\xFF\xFE";
      for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
      }
    } else {
      bytes = encodeAnsi(kernel32(state()).acp, text, "?", nullptr);
    }
    return bytes;
  }

  // (A file that is not there stays so while nothing is written to it.)
  bool unchanged(const std::string& bytes) const { return loaded_ ? bytes == *loaded_ : lines_.empty(); }

  static std::optional<std::u16string_view> sectionName(std::u16string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != u'[') return std::nullopt;
    size_t close = line.find(u']');
    return trim(line.substr(1, close == std::u16string_view::npos ? line.size() - 1 : close - 1));
  }

  // A key line: its trimmed name and value. A line without '=' is none.
  static bool keyLine(std::u16string_view line, std::u16string_view* key, std::u16string_view* value) {
    std::u16string_view t = trim(line);
    size_t eq = t.find(u'=');
    if (t.empty() || t.front() == u'[' || eq == std::u16string_view::npos) return false;
    *key = trim(t.substr(0, eq));
    *value = trim(t.substr(eq + 1));
    return true;
  }

  // [first, last) lines of the first section of that name, header excluded.
  bool findSection(std::u16string_view name, size_t* first, size_t* last) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
      auto s = sectionName(lines_[i]);
      if (!s || !equalsNoCase(*s, name)) continue;
      size_t j = i + 1;
      while (j < lines_.size() && !sectionName(lines_[j])) ++j;
      *first = i + 1;
      *last = j;
      return true;
    }
    return false;
  }

  std::optional<size_t> findKey(size_t first, size_t last, std::u16string_view name) const {
    std::u16string_view k, v;
    for (size_t i = first; i < last; ++i)
      if (keyLine(lines_[i], &k, &v) && equalsNoCase(k, name)) return i;
    return std::nullopt;
  }

  std::optional<std::u16string> value(std::u16string_view section, std::u16string_view key) const {
    size_t first, last;
    if (!findSection(section, &first, &last)) return std::nullopt;
    auto i = findKey(first, last, key);
    if (!i) return std::nullopt;
    std::u16string_view k, v;
    keyLine(lines_[*i], &k, &v);
    return std::u16string(unquote(v));
  }

  std::vector<std::u16string> sections() const {
    std::vector<std::u16string> r;
    for (auto& line : lines_)
      if (auto s = sectionName(line)) r.emplace_back(*s);
    return r;
  }

  std::vector<std::u16string> keys(std::u16string_view section) const {
    std::vector<std::u16string> r;
    size_t first, last;
    if (!findSection(section, &first, &last)) return r;
    std::u16string_view k, v;
    // A name starting with ';' is found when asked for, but not listed.
    for (size_t i = first; i < last; ++i)
      if (keyLine(lines_[i], &k, &v) && (k.empty() || k.front() != u';')) r.emplace_back(k);
    return r;
  }

  void set(std::u16string_view section, LPCWSTR key, LPCWSTR value) {
    size_t first, last;
    bool found = findSection(section, &first, &last);
    if (!key) {  // delete the section
      if (found) lines_.erase(lines_.begin() + static_cast<long>(first) - 1, lines_.begin() + static_cast<long>(last));
      return;
    }
    if (!found) {
      if (!value) return;
      lines_.push_back(u"[" + std::u16string(section) + u"]");
      first = last = lines_.size();
    }
    auto at = findKey(first, last, key);
    if (!value) {
      if (at) lines_.erase(lines_.begin() + static_cast<long>(*at));
      return;
    }
    std::u16string line = std::u16string(key) + u"=" + std::u16string(value);
    if (at) {  // the name keeps the case it has in the file
      std::u16string_view k, v;
      keyLine(lines_[*at], &k, &v);
      lines_[*at] = std::u16string(k) + u"=" + std::u16string(value);
      return;
    }
    size_t insert = last;
    while (insert > first && trim(lines_[insert - 1]).empty()) --insert;
    lines_.insert(lines_.begin() + static_cast<long>(insert), line);
  }

 private:
  std::vector<std::u16string> lines_;
  bool unicode_ = false;
  std::optional<std::string> loaded_;  // the bytes the file held, when it was read
};

// A name without a path is looked for in the Windows directory.
std::u16string profilePath(std::u16string_view file) {
  if (file.find_first_of(u"\\/:") == std::u16string_view::npos)
    return windowsDirectory() + u"\\" + std::u16string(file);
  return std::u16string(file);
}

// Copies a double-NUL list; a list that does not fit is cut, ending in two
// NULs, and the count is nSize - 2, as Windows reports it.
DWORD copyList(const std::vector<std::u16string>& items, LPWSTR out, DWORD size) {
  if (size == 0) return 0;
  if (size == 1) {
    out[0] = 0;
    return 0;
  }
  std::u16string all;
  for (auto& item : items) all += item + u'\0';
  if (all.size() + 1 <= size) {
    all.copy(out, all.size());
    out[all.size()] = 0;
    return all.empty() ? 0 : static_cast<DWORD>(all.size());
  }
  all.copy(out, size - 2);
  out[size - 2] = 0;
  out[size - 1] = 0;
  return size - 2;
}

}  // namespace

namespace winsim::detail {

// Profile files are read under the profiles' lock shared and written under it
// alone. A value written as it stands takes only the shared lock, so jobs
// on several printers that write the same value do not wait for each other.
bool writeProfileString(std::u16string_view file, LPCWSTR section, LPCWSTR key, LPCWSTR value) {
  fs::path host;
  if (!hostPathOf(profilePath(file), &host)) return setError(ERROR_PATH_NOT_FOUND), false;
  auto& k = kernel32(state());
  std::u16string path = profilePath(file);
  DWORD error = lastError();
  {
    std::shared_lock g(k.profilesMu);
    IniDocument doc;
    doc.load(path);
    doc.set(view(section), key, value);
    if (doc.unchanged()) return setError(error), true;
  }
  std::unique_lock g(k.profilesMu);
  IniDocument doc;
  doc.load(path);
  doc.set(view(section), key, value);
  if (!doc.save(path)) return false;
  setError(error);  // a missing file is made: no error
  return true;
}

}  // namespace winsim::detail

extern "C" {

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR def, LPWSTR out, DWORD size, LPCWSTR file) {
  ApiCall log("GetPrivateProfileStringW");
  log.arg("lpAppName", section).arg("lpKeyName", key).arg("lpDefault", def).arg("nSize", size);
  log.arg("lpFileName", file);
  std::shared_lock g(kernel32(state()).profilesMu);
  IniDocument doc;
  // A file that cannot be read is one that is not there: the default, with
  // the open's error.
  DWORD error = lastError();
  bool faulted = log.fails(profilePath(view(file)));
  bool loaded = !faulted && file && doc.load(profilePath(view(file)));
  DWORD openError = loaded ? 0 : !faulted && file ? lastError() : ERROR_FILE_NOT_FOUND;
  setError(error);
  DWORD result = 0;
  if (!out) {
  } else if (!section) {
    result = copyList(doc.sections(), out, size);
  } else if (!key) {
    result = copyList(doc.keys(section), out, size);
  } else if (size > 0) {
    std::optional<std::u16string> v = loaded ? doc.value(section, key) : std::nullopt;
    std::u16string text = v ? *v : std::u16string(view(def));
    if (!v) {  // Windows strips trailing blanks from the default
      while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.pop_back();
    }
    size_t n = std::min<size_t>(text.size(), size - 1);
    text.copy(out, n);
    out[n] = 0;
    result = static_cast<DWORD>(n);
    setError(loaded ? error : openError);  // a missing key leaves the last error alone
    log.out("lpReturnedString", std::u16string_view(out, n));
  }
  log.result(result);
  return result;
}

// The integer is the leading decimal digits of the value, with an optional
// sign ("102abc" gives 102); a missing key gives the default.
UINT WINAPI GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT def, LPCWSTR file) {
  ApiCall log("GetPrivateProfileIntW");
  log.arg("lpAppName", section).arg("lpKeyName", key).arg("nDefault", def).arg("lpFileName", file);
  std::shared_lock g(kernel32(state()).profilesMu);
  IniDocument doc;
  // Without a key the value read is a list of names, never a number.
  UINT result = key ? static_cast<UINT>(def) : 0;
  DWORD error = lastError();
  bool loaded = !log.fails(profilePath(view(file))) && section && key && file && doc.load(profilePath(view(file)));
  setError(loaded ? error : ERROR_FILE_NOT_FOUND);  // as the string's read does
  if (loaded) {
    if (auto v = doc.value(section, key); v && !v->empty()) {
      std::u16string_view t = *v;
      bool negative = false;
      if (!t.empty() && (t[0] == u'-' || t[0] == u'+')) {
        negative = t[0] == u'-';
        t.remove_prefix(1);
      }
      uint32_t n = 0;
      for (char16_t c : t) {
        if (c < u'0' || c > u'9') break;
        n = n * 10 + static_cast<uint32_t>(c - u'0');
      }
      result = negative ? 0u - n : n;
    }
  }
  log.result(static_cast<INT>(result));
  return result;
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR file) {
  ApiCall log("WritePrivateProfileStringW");
  log.arg("lpAppName", section).arg("lpKeyName", key).arg("lpString", value).arg("lpFileName", file);
  BOOL ok = FALSE;
  if (log.fails(profilePath(view(file)))) {
  } else if (!section || !file) {
    setError(section ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND);
  } else {
    ok = writeProfileString(view(file), section, key, value) ? TRUE : FALSE;
  }
  log.result(ok);
  return ok;
}

}  // extern "C"

namespace winsim::detail {

ProfileData readProfile(const fs::path& host) {
  ProfileData data;
  IniDocument doc;
  if (!doc.loadHost(host)) return data;
  for (auto& section : doc.sections()) {
    auto& keys = data[section];
    for (auto& key : doc.keys(section))
      if (auto v = doc.value(section, key)) keys.emplace(key, *v);
  }
  return data;
}

}  // namespace winsim::detail
