// user32: message boxes (recorded and answered from the script), wsprintfW
// and CharUpperW.
#include <cstdio>
#include <cstring>

#include "core/seams.h"
#include "user32/state.h"
#include "message_answers.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

void appendNumber(std::u16string& out, unsigned long long value, bool negative, int base, bool upperCase, int width,
                  bool leftAlign, bool zeroPad) {
  char digits[32];
  std::snprintf(digits, sizeof digits, base == 16 ? (upperCase ? "%llX" : "%llx") : "%llu", value);
  std::u16string body = fromUtf8(digits);
  if (negative) body = u"-" + body;
  int pad = width - static_cast<int>(body.size());
  if (pad > 0 && !leftAlign) {
    if (zeroPad) {
      size_t at = negative ? 1 : 0;
      body.insert(at, static_cast<size_t>(pad), u'0');
    } else {
      body.insert(0, static_cast<size_t>(pad), u' ');
    }
  } else if (pad > 0) {
    body.append(static_cast<size_t>(pad), u' ');
  }
  out += body;
}

}  // namespace

extern "C" {

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  ApiCall log("MessageBoxW");
  log.ptr("hWnd", owner).arg("lpText", text).arg("lpCaption", caption).hex("uType", style);
  if (log.fails()) return log.result(0), 0;  // never shown, so not in the history
  if (owner) {                               // the machine has no windows: any owner is none
    setError(ERROR_INVALID_WINDOW_HANDLE);
    return log.result(0), 0;
  }
  MessageBoxRecord box;
  box.text = std::u16string(view(text));
  if (caption) box.caption = std::u16string(caption);
  box.style = style;
  auto& s = state();
  bool answered = false;
  {
    QuietLock g(user32(s).mu);
    auto& mine = user32(s).answers[std::this_thread::get_id()];
    if (!mine.empty()) {
      box.answer = mine.front();
      mine.pop_front();
      answered = true;
    }
  }
  const auto& ask = user32(s).ask;
  if (!answered && !ask) box.answer = FirstButton(style);
  cancelIfDueAtBox();                           // the queue's user may cancel the job while its box is up
  if (!answered && ask) box.answer = ask(box);  // may block on a person; the machine stays usable
  if (s.keepHistory) {
    MessageBoxRecord kept = box;
    QuietLock g(user32(s).mu);
    user32(s).boxes.push_back(std::move(kept));
  }
  if (s.observer.messageBox) s.observer.messageBox(box);
  log.result(box.answer);
  return box.answer;
}

LPWSTR WINAPI CharUpperW(LPWSTR s) {
  auto bits = reinterpret_cast<uintptr_t>(s);
  if (bits <= 0xFFFF) return reinterpret_cast<LPWSTR>(upper(static_cast<char16_t>(bits)));
  for (LPWSTR p = s; *p; ++p) *p = upper(*p);
  return s;
}

// wsprintfW's conversions: %d %i %u %x %X %c %s %S with flags - and 0, a
// width, the size prefixes h and l, and %%. Like Windows, it writes at most
// 1024 characters with its terminator.
int WINAPI wvsprintfW(LPWSTR out, LPCWSTR format, va_list args) {
  std::u16string r;
  std::u16string_view f = view(format);
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != u'%') {
      r += f[i];
      continue;
    }
    if (++i >= f.size()) break;
    bool left = false, zero = false;
    for (; i < f.size() && (f[i] == u'-' || f[i] == u'0'); ++i) (f[i] == u'-' ? left : zero) = true;
    int width = 0;
    for (; i < f.size() && f[i] >= u'0' && f[i] <= u'9'; ++i) width = width * 10 + (f[i] - u'0');
    bool narrow = false, wide = false;
    if (i < f.size() && (f[i] == u'h' || f[i] == u'l')) (f[i++] == u'h' ? narrow : wide) = true;
    if (i >= f.size()) break;
    switch (f[i]) {
      case u'd':
      case u'i': {
        long long v = va_arg(args, int);
        appendNumber(r, static_cast<unsigned long long>(v < 0 ? -v : v), v < 0, 10, false, width, left, zero);
        break;
      }
      case u'u': appendNumber(r, va_arg(args, unsigned), false, 10, false, width, left, zero); break;
      case u'x': appendNumber(r, va_arg(args, unsigned), false, 16, false, width, left, zero); break;
      case u'X': appendNumber(r, va_arg(args, unsigned), false, 16, true, width, left, zero); break;
      case u'c':
      case u'C': r += static_cast<char16_t>(va_arg(args, int)); break;
      case u's':
      case u'S': {
        bool isNarrow = narrow || (f[i] == u'S' && !wide);
        std::u16string text;
        if (isNarrow) {
          const char* s = va_arg(args, const char*);
          text = s ? fromUtf8(s) : u"(null)";
        } else {
          LPCWSTR s = va_arg(args, LPCWSTR);
          text = s ? std::u16string(s) : u"(null)";
        }
        int pad = width - static_cast<int>(text.size());
        if (pad > 0 && !left) r.append(static_cast<size_t>(pad), u' ');
        r += text;
        if (pad > 0 && left) r.append(static_cast<size_t>(pad), u' ');
        break;
      }
      default: r += f[i];
    }
  }
  if (r.size() > 1023) r.resize(1023);
  r.copy(out, r.size());
  out[r.size()] = 0;
  return static_cast<int>(r.size());
}

int wsprintfW(LPWSTR out, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(out, format, args);
  va_end(args);
  return n;
}

}  // extern "C"
