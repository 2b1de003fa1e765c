#include "support/text.h"

#include <cstdarg>

void CopyWide(std::span<WCHAR> out, WideView text) {
  if (out.empty()) return;
  size_t n = text.size() < out.size() - 1 ? text.size() : out.size() - 1;
  for (size_t i = 0; i < n; ++i) out[i] = text[i];
  out[n] = 0;
}

void Trace(LPCWSTR text) { OutputDebugStringW(text); }

void TraceFormat(LPCWSTR format, ...) {
  WCHAR line[1024];
  va_list args;
  va_start(args, format);
  wvsprintfW(line, format, args);
  va_end(args);
  OutputDebugStringW(line);
}

int ShowMessageBox(LPCWSTR text, LPCWSTR caption, UINT style) {
  int answer = MessageBoxW(nullptr, text, caption, style);
  // Nobody saw it: what it said goes to the trace instead.
  if (answer == 0)
    TraceFormat(TEXT("A message box could not be shown (error %lu): %s\n"), static_cast<unsigned long>(GetLastError()),
                text ? text : TEXT(""));
  return answer;
}

namespace {
thread_local HeldMessages* t_held = nullptr;
}  // namespace

HeldMessages::HeldMessages() : outer_(t_held) { t_held = this; }

HeldMessages::~HeldMessages() {
  t_held = outer_;
  for (int i = 0; i < count_; ++i) ShowMessage(held_[i].text, held_[i].style);
}

bool HeldMessages::hold(LPCWSTR text, UINT style) {
  if (count_ == static_cast<int>(sizeof held_ / sizeof held_[0])) return false;
  CopyWide(held_[count_].text, WideView(text ? text : TEXT("")));
  held_[count_++].style = style;
  return true;
}

void ShowMessage(LPCWSTR text, UINT style) {
  if (t_held && t_held->hold(text, style)) return;
  ShowMessageBox(text, nullptr, style);
}

AnsiField::AnsiField(std::span<const CHAR> field) {
  size_t room = sizeof text_ - 1, end = 0;
  while (end < field.size() && end < room && field[end] != 0) ++end;
  // Lead bytes are told only by walking from the start: a trail byte may
  // look like one.
  size_t whole = 0;
  while (whole < end) {
    size_t next = whole + (IsDBCSLeadByte(static_cast<BYTE>(field[whole])) ? 2 : 1);
    if (next > end) break;
    whole = next;
  }
  dropped_ = whole < end;
  for (size_t i = 0; i < whole; ++i) text_[i] = field[i];
  text_[whole] = 0;
  length_ = static_cast<int>(whole);
}

BOOL AnsiFieldToWide(std::span<const CHAR> field, std::span<WCHAR> out, bool* cut) {
  if (cut) *cut = false;
  if (out.empty()) return FALSE;
  out[0] = 0;
  AnsiField text(field);
  if (text.length() == 0) return TRUE;
  // An ANSI code page never yields more characters than bytes.
  WCHAR wide[AnsiField::kWidest];
  int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.c_str(), text.length(), wide,
                              static_cast<int>(sizeof wide / sizeof wide[0]));
  if (n <= 0) return FALSE;
  size_t keep = static_cast<size_t>(n) < out.size() - 1 ? static_cast<size_t>(n) : out.size() - 1;
  if (keep > 0 && keep < static_cast<size_t>(n) && wide[keep - 1] >= 0xD800 && wide[keep - 1] <= 0xDBFF)
    --keep;  // never split a surrogate pair
  if (cut) *cut = keep < static_cast<size_t>(n);
  CopyWide(out, WideView(wide, keep));
  return TRUE;
}

bool StartsWithNoCase(LPCWSTR text, WideView prefix) {
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (!text || text[i] == 0) return false;
    WCHAR a[2] = {text[i], 0}, b[2] = {prefix[i], 0};
    CharUpperW(a);
    CharUpperW(b);
    if (a[0] != b[0]) return false;
  }
  return true;
}

void DeleteJobFile(LPCWSTR szPath, LPCWSTR szWhat) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (DeleteFileW(szPath) || GetLastError() == ERROR_FILE_NOT_FOUND) return;
  }
  TraceFormat(TEXT("The %s %s could not be deleted (error %lu); it is left behind.\n"), szWhat, szPath, GetLastError());
}
