#include "support/paths.h"

#include <string_view>

namespace {

using View = std::basic_string_view<WCHAR>;

constexpr WCHAR kSeparators[] = {'\\', '/', 0};

bool IsSeparator(WCHAR c) { return c == '\\' || c == '/'; }

WCHAR Upper(WCHAR c) { return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c; }

// A component that Windows takes for a device: the name before its first
// dot, without trailing spaces, is one of the reserved names.
bool IsDeviceName(View component) {
  View name = component.substr(0, component.find('.'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (name.size() != 3 && name.size() != 4) return false;
  WCHAR n[4] = {};
  for (size_t i = 0; i < name.size(); ++i) n[i] = Upper(name[i]);
  auto is = [&](const char* word) { return n[0] == word[0] && n[1] == word[1] && n[2] == word[2]; };
  if (name.size() == 3) return is("CON") || is("PRN") || is("AUX") || is("NUL");
  return (is("COM") || is("LPT")) && n[3] >= '1' && n[3] <= '9';
}

// The part after the drive or the UNC server and share.
bool RootedRest(View path, View* rest) {
  if (path.size() >= 3 && ((Upper(path[0]) >= 'A' && Upper(path[0]) <= 'Z')) && path[1] == ':' &&
      IsSeparator(path[2])) {
    *rest = path.substr(3);
    return true;
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    if (path.size() >= 3 && (path[2] == '.' || path[2] == '?')) return false;  // \\.\ and \\?\ devices
    View server = path.substr(2);
    size_t share = server.find_first_of(View(kSeparators));
    if (share == 0 || share == View::npos) return false;
    *rest = server.substr(share + 1);
    return !rest->empty();
  }
  return false;
}

}  // namespace

bool IsPlainFilePath(LPCWSTR path) {
  if (!path) return false;
  View whole(path);
  View rest;
  if (!RootedRest(whole, &rest) || rest.empty() || IsSeparator(rest.back())) return false;
  if (rest.find(':') != View::npos) return false;  // an alternate data stream
  for (size_t at = 0; at <= rest.size();) {
    size_t end = rest.find_first_of(View(kSeparators), at);
    if (end == View::npos) end = rest.size();
    View component = rest.substr(at, end - at);
    if (component.empty() || IsDeviceName(component)) return false;
    at = end + 1;
  }
  // A path not there yet may become a file; one that cannot be looked at
  // for another reason is not taken on trust.
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
