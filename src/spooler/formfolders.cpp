#include "spooler/formfolders.h"

#include "config/driverfiles.h"
#include "support/paths.h"
#include "support/text.h"

namespace {

constexpr WideView kFormExtension = TEXT(".OVL");
constexpr LPCWSTR kFormFoldersValue = TEXT("FormFolders");
constexpr DWORD kFormFoldersBytes = 8192;

// Folders no recording goes into, below the drive or share the form is on:
// what programs run from and read their settings from.
constexpr LPCWSTR kSystemRoots[] = {TEXT("\\PROGRAM FILES"), TEXT("\\PROGRAM FILES (X86)"), TEXT("\\PROGRAMDATA")};
// Names of folders whose files Windows opens at logon.
constexpr LPCWSTR kStartupNames[] = {TEXT("STARTUP"), TEXT("START MENU")};

using PathBuffer = WCHAR[MAX_PATH];

// a + b into out; false when it does not fit.
bool Join(PathBuffer& out, WideView a, WideView b) {
  if (a.size() + b.size() >= MAX_PATH) return false;
  CopyWide(out, a);
  CopyWide(std::span(out + a.size(), MAX_PATH - a.size()), b);
  return true;
}

void Upper(WideView text, PathBuffer& out) {
  CopyWide(out, text);
  CharUpperW(out);
}

WideView WithoutTrailingSlash(WideView path) {
  while (!path.empty() && path.back() == TEXT('\\')) path.remove_suffix(1);
  return path;
}

// The path as Windows opens it: full, separators folded, trailing dots and
// spaces gone, 8.3 names replaced by long ones (a new file's folder's).
bool FullLongPath(LPCWSTR path, PathBuffer& out, bool* exists) {
  PathBuffer full;
  LPWSTR name = nullptr;
  DWORD n = GetFullPathNameW(path, MAX_PATH, full, &name);
  if (n == 0 || n >= MAX_PATH) return false;
  n = GetLongPathNameW(full, out, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return *exists = true;
  *exists = false;
  if (!name || !name[0]) return false;
  PathBuffer folder;
  CopyWide(folder, WideView(full, static_cast<size_t>(name - full)));
  n = GetLongPathNameW(folder, out, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  PathBuffer longFolder;
  return Join(longFolder, WithoutTrailingSlash(WideView(out)), TEXT("\\")) &&
         Join(out, WideView(longFolder), WideView(name));
}

// An existing folder's long upper-case path without its last backslash;
// empty when it cannot be found.
void LongFolder(LPCWSTR folder, PathBuffer& out) {
  out[0] = 0;
  PathBuffer found;
  bool exists = false;
  if (folder[0] && FullLongPath(folder, found, &exists) && exists) Upper(WithoutTrailingSlash(WideView(found)), out);
}

bool IsInside(WideView folder, WideView root) {
  if (root.empty() || folder.size() < root.size() || folder.substr(0, root.size()) != root) return false;
  return folder.size() == root.size() || folder[root.size()] == TEXT('\\');
}

// "C:" or "\\SERVER\SHARE": what the folder's path is below.
WideView RootOf(WideView folder) {
  if (folder.size() >= 2 && folder[1] == TEXT(':')) return folder.substr(0, 2);
  size_t server = folder.find(TEXT('\\'), 2);
  size_t share = server == WideView::npos ? WideView::npos : folder.find(TEXT('\\'), server + 1);
  return folder.substr(0, share);
}

bool HasStartupFolder(WideView folder) {
  for (size_t at = 0; at < folder.size();) {
    size_t end = folder.find(TEXT('\\'), at);
    if (end == WideView::npos) end = folder.size();
    for (LPCWSTR name : kStartupNames)
      if (folder.substr(at, end - at) == WideView(name)) return true;
    at = end + 1;
  }
  return false;
}

// A folder that cannot be found counts as the folder: the rule fails closed.
bool IsSystemFolder(HANDLE hPrinter, WideView folder) {
  PathBuffer windows = {}, base = {}, driver = {}, found;
  GetWindowsDirectoryW(windows, MAX_PATH);
  LongFolder(windows, found);
  if (!found[0] || IsInside(folder, found)) return true;
  if (!GetDrvFileNameAndPath(hPrinter, base, driver, TEXT(".DLL"))) return true;
  LongFolder(driver, found);
  if (!found[0] || IsInside(folder, found)) return true;
  for (LPCWSTR below : kSystemRoots)
    if (Join(found, RootOf(folder), below) && IsInside(folder, WideView(found))) return true;
  return HasStartupFolder(folder);
}

// Whether `folder` is one of the listed folders; the list's entries are
// separated by ';' or NUL, blanks around them ignored. An entry is a plain
// folder path, of a drive or a share.
bool IsListed(WideView folder, WideView list) {
  for (size_t at = 0; at <= list.size();) {
    size_t end = list.find_first_of(WideView(TEXT(";\0"), 2), at);
    if (end == WideView::npos) end = list.size();
    WideView entry = list.substr(at, end - at);
    at = end + 1;
    while (!entry.empty() && entry.front() == TEXT(' ')) entry.remove_prefix(1);
    while (!entry.empty() && entry.back() == TEXT(' ')) entry.remove_suffix(1);
    entry = WithoutTrailingSlash(entry);
    PathBuffer text, inside, found;
    if (entry.empty() || !Join(inside, entry, TEXT("\\x.ovl")) || !IsPlainFilePath(inside)) continue;
    CopyWide(text, entry);
    LongFolder(text, found);
    if (found[0] && WideView(found) == folder) return true;
  }
  return false;
}

// The printer's "FormFolders", or the default when the printer has none.
bool IsFormFolder(HANDLE hPrinter, WideView folder) {
  WCHAR list[kFormFoldersBytes / sizeof(WCHAR) + 1] = {};
  DWORD type = 0, needed = 0;
  DWORD error = GetPrinterDataW(hPrinter, const_cast<LPWSTR>(kFormFoldersValue), &type, reinterpret_cast<LPBYTE>(list),
                                kFormFoldersBytes, &needed);
  if (error == ERROR_SUCCESS) return IsListed(folder, WideView(list, needed / sizeof(WCHAR)));
  if (error != ERROR_FILE_NOT_FOUND) return false;  // a list that cannot be read lists nothing
  PathBuffer windows = {}, forms;
  GetWindowsDirectoryW(windows, MAX_PATH);
  return Join(forms, WideView(windows).substr(0, 2), TEXT("\\forms")) && IsListed(folder, WideView(forms));
}

bool EndsWithFormExtension(WideView upperPath) {
  return upperPath.size() > kFormExtension.size() &&
         upperPath.substr(upperPath.size() - kFormExtension.size()) == kFormExtension;
}

}  // namespace

void TraceRecordingRefused(LPCWSTR szPath, LPCWSTR szReason) {
  TraceFormat(TEXT("Overlay recording to \"%s\" refused: %s.\n"), szPath, szReason);
}

BOOL FindRecordingTarget(HANDLE hPrinter, LPCWSTR szPath, RecordingTarget* target) {
  auto refuse = [&](LPCWSTR reason) {
    TraceRecordingRefused(szPath, reason);
    return FALSE;
  };
  if (LPCWSTR why = WhyNotPlainFilePath(szPath)) return refuse(why);
  bool exists = false;
  if (!FullLongPath(szPath, target->szPath, &exists)) return refuse(TEXT("its folder does not exist"));
  target->bExists = exists;
  if (LPCWSTR why = WhyNotPlainFilePath(target->szPath)) return refuse(why);
  PathBuffer upper;
  Upper(WideView(target->szPath), upper);
  if (!EndsWithFormExtension(upper)) return refuse(TEXT("a form is recorded only into a .ovl file"));
  WideView folder(upper, WideView(upper).find_last_of(TEXT('\\')));
  if (IsSystemFolder(hPrinter, folder))
    return refuse(TEXT("forms are never recorded into the Windows folder, the driver folder or a system folder"));
  if (!exists && !IsFormFolder(hPrinter, folder))
    return refuse(TEXT("a new form is recorded only into a folder the printer's FormFolders lists"));
  return TRUE;
}
