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

// A message box with no owner; its answer, 0 when it could not be shown
// (then traced).
int ShowMessageBox(LPCWSTR text, LPCWSTR caption, UINT style);
// The same without a caption, for a box that asks nothing: while a
// HeldMessages of the thread lives, it waits until that goes.
void ShowMessage(LPCWSTR text, UINT style);

// Held by code that holds a lock other printers' jobs wait on: the boxes
// it would show come after the lock is released (declare it first), so
// that nobody's job waits on a user reading one.
class HeldMessages {
 public:
  HeldMessages();
  ~HeldMessages();
  HeldMessages(const HeldMessages&) = delete;
  HeldMessages& operator=(const HeldMessages&) = delete;
  bool hold(LPCWSTR text, UINT style);  // false when full: shown at once

 private:
  struct Held {
    WCHAR text[256];
    UINT style;
  };
  Held held_[4];
  int count_ = 0;
  HeldMessages* outer_;
};

// An ANSI field of the settings record (system ANSI code page) as a string
// that ends: its text up to its first NUL or the field's end, whichever
// comes first. A double-byte character cut in half at the end (a lead byte
// that fills the field, or stands before its NUL) is left out: no code page
// reads it as what the user wrote.
class AnsiField {
 public:
  static constexpr size_t kWidest = 260;  // the overlay path

  explicit AnsiField(std::span<const CHAR> field);
  const CHAR* c_str() const { return text_; }
  int length() const { return length_; }
  bool halfCharacterDropped() const { return dropped_; }

 private:
  CHAR text_[kWidest + 1];
  int length_ = 0;
  bool dropped_ = false;
};

// Converts an ANSI field of the settings record (system ANSI code page,
// precomposed) into `out`, as AnsiField reads it; the result is cut to
// out.size() - 1 characters and terminated. FALSE when the conversion fails.
// `cut`, when given, tells whether the text was cut to fit.
BOOL AnsiFieldToWide(std::span<const CHAR> field, std::span<WCHAR> out, bool* cut = nullptr);

// True when the first n characters of text equal prefix without regard to case.
bool StartsWithNoCase(LPCWSTR text, WideView prefix);

// Deletes a file of the job's own (the spool file, the capture file): once
// more if the first try fails, then traced, so that a file left behind is
// said. `what` names it in the trace.
void DeleteJobFile(LPCWSTR szPath, LPCWSTR szWhat);
