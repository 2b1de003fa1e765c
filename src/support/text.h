// Traces, message boxes and the conversion of the settings record's ANSI
// fields.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstddef>
#include <span>
#include <string_view>

using WideView = std::basic_string_view<WCHAR>;

// Copies text into a fixed buffer, cut to fit, always terminated.
void CopyWide(std::span<WCHAR> out, WideView text);

void Trace(LPCWSTR text);
void TraceFormat(LPCWSTR format, ...);

// A message box with no owner window and no caption.
// A message box with no owner; its answer, 0 when it could not be shown
// (then traced).
int ShowMessageBox(LPCWSTR text, LPCWSTR caption, UINT style);
void ShowMessage(LPCWSTR text, UINT style);

// Converts an ANSI field of the settings record (system ANSI code page,
// precomposed) into `out`. The field's text ends at its first NUL or at the
// end of the field, whichever comes first; the result is cut to
// out.size() - 1 characters and terminated. FALSE when the conversion fails.
BOOL AnsiFieldToWide(std::span<const CHAR> field, std::span<WCHAR> out);

// True when the first n characters of text equal prefix without regard to case.
bool StartsWithNoCase(LPCWSTR text, WideView prefix);

// Deletes a file of the job's own (the spool file, the capture file): once
// more if the first try fails, then traced, so that a file left behind is
// said. `what` names it in the trace.
void DeleteJobFile(LPCWSTR szPath, LPCWSTR szWhat);
