#include "support/paths.h"

#include <string_view>

namespace {

using View = std::basic_string_view<WCHAR>;

constexpr WCHAR kSeparators[] = {'\\', '/', 0};

bool IsSeparator(WCHAR c) { return c == '\\' || c == '/'; }

WCHAR Upper(WCHAR c) { return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c; }

bool EqualsUpper(View name, const char* word) {
  size_t i = 0;
  for (; i < name.size() && word[i]; ++i)
    if (Upper(name[i]) != static_cast<WCHAR>(word[i])) return false;
  return i == name.size() && !word[i];
}

// Names Windows opens as a device in any folder, whatever follows a dot.
constexpr const char* kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
// Ports: COM and LPT with a digit; Windows also takes the Latin-1
// superscripts one to three as digits.
constexpr const char* kPortNames[] = {"COM", "LPT"};
constexpr WCHAR kSuperscriptDigits[] = {0x00B9, 0x00B2, 0x00B3};

bool IsPortNumber(WCHAR c) {
  if (c >= '0' && c <= '9') return true;
  for (WCHAR s : kSuperscriptDigits)
    if (c == s) return true;
  return false;
}

// A component that Windows takes for a device: the name before its first
// dot, without trailing spaces, is one of the reserved names.
bool IsDeviceName(View component) {
  View name = component.substr(0, component.find('.'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  for (const char* device : kDeviceNames)
    if (EqualsUpper(name, device)) return true;
  for (const char* port : kPortNames)
    if (name.size() == 4 && EqualsUpper(name.substr(0, 3), port) && IsPortNumber(name[3])) return true;
  return false;
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

LPCWSTR WhyNotPlainFilePath(LPCWSTR path) {
  if (!path) return TEXT("it is not a full path");
  View whole(path);
  View rest;
  if (!RootedRest(whole, &rest) || rest.empty()) return TEXT("it is not a full path to a file");
  if (IsSeparator(rest.back())) return TEXT("it names a folder");
  if (rest.find(':') != View::npos) return TEXT("it names a stream of a file");
  for (size_t at = 0; at <= rest.size();) {
    size_t end = rest.find_first_of(View(kSeparators), at);
    if (end == View::npos) end = rest.size();
    View component = rest.substr(at, end - at);
    if (component.empty()) return TEXT("it is not a full path to a file");
    if (IsDeviceName(component)) return TEXT("it names a device");
    at = end + 1;
  }
  // A path not there yet may become a file; one that cannot be looked at
  // for another reason is not taken on trust.
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? TEXT("it names a folder") : nullptr;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? nullptr : TEXT("it cannot be looked at");
}

bool IsPlainFilePath(LPCWSTR path) { return WhyNotPlainFilePath(path) == nullptr; }
