// Windows code pages through iconv. Bytes are read as Windows reads them:
// table by table, a byte or a lead and trail byte pair at a time, with no
// composition and nothing held back at the end of a string. Characters are
// written through iconv's encoders, which choose among a code page's
// duplicate encodings as Windows does.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "kernel32/state.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

const char* iconvName(UINT cp) {
  switch (cp) {
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 437: return "CP437";
    case 850: return "CP850";
    case CP_UTF8: return "UTF-8";
    default: return nullptr;
  }
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  void reset() {
    if (ok()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_t raw() const { return cd_; }

  // Converts as much as it can, then flushes what a stateful converter holds
  // back (CP1255 and CP1258 keep a letter in case a mark follows). Returns
  // false on a bad or cut sequence, with `in` and `inLeft` at it.
  bool run(const char*& in, size_t& inLeft, std::string& out) {
    char buf[1024];
    while (inLeft > 0) {
      char* o = buf;
      size_t oLeft = sizeof buf;
      size_t r = iconv(cd_, const_cast<char**>(&in), &inLeft, &o, &oLeft);
      out.append(buf, o - buf);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    char* o = buf;
    size_t oLeft = sizeof buf;
    iconv(cd_, nullptr, nullptr, &o, &oLeft);
    out.append(buf, o - buf);
    return true;
  }

 private:
  iconv_t cd_;
};

// iconv_open loads the code page's converter module and iconv_close unloads
// it, a dlopen each time: each thread keeps the converters it has opened.
Iconv& converter(const char* to, const char* from) {
  thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Iconv>> open;
  auto& slot = open[{to, from}];
  if (!slot) slot = std::make_unique<Iconv>(to, from);
  slot->reset();
  return *slot;
}

bool isAscii(std::u16string_view s) {
  return std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 0x80; });
}
bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::u16string fromUtf16Bytes(const std::string& bytes) {
  std::u16string r(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < r.size(); ++i)
    r[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return r;
}

std::string toUtf16Bytes(std::u16string_view s) {
  std::string r(s.size() * 2, '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    r[2 * i] = static_cast<char>(s[i] & 0xFF);
    r[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  return r;
}

// The bytes Windows' tables give a character that iconv's leave out: the
// unassigned bytes of the single-byte code pages (C1 controls or the
// private use area) and the single bytes of the double-byte ones.
struct WindowsByte {
  UINT codePage;
  unsigned char byte;
  char16_t ch;
};

// clang-format off
constexpr WindowsByte kWindowsBytes[] = {
    {932, 0x80, 0x0080}, {932, 0xA0, 0xF8F0}, {932, 0xFD, 0xF8F1}, {932, 0xFE, 0xF8F2}, {932, 0xFF, 0xF8F3},
    {936, 0x80, 0x20AC}, {936, 0xFF, 0xF8F5},
    {949, 0x80, 0x0080}, {949, 0xFF, 0xF8F7},
    {950, 0x80, 0x0080}, {950, 0xFF, 0xF8F8},
};
// clang-format on

// What a byte or pair a code page does not have becomes.
char16_t invalidCharacter(UINT codePage) { return codePage == 932 ? 0x30FB : u'?'; }

// One code page as Windows reads it: a character for each single byte,
// lead bytes, and a character for each lead and trail byte pair.
class CodePageTable {
 public:
  explicit CodePageTable(UINT cp) : id_(cp) {
    Iconv cv("UTF-16LE", iconvName(cp));
    for (int b = 0; b < 256; ++b) {
      char in[1] = {static_cast<char>(b)};
      bool cut = false;
      single_[b] = decodeOne(cv, in, 1, &cut);
      lead_[b] = cut;
    }
    for (auto& w : kWindowsBytes)
      if (w.codePage == cp) {
        single_[w.byte] = w.ch;
        lead_[w.byte] = false;
      }
    if (lead_.any()) pairs_.assign(65536, 0);
    for (int l = 0x80; l < 256; ++l)
      for (int t = 0x40; lead_[l] && t < 256; ++t) {
        char in[2] = {static_cast<char>(l), static_cast<char>(t)};
        bool cut = false;
        pairs_[l << 8 | t] = decodeOne(cv, in, 2, &cut);
      }
  }

  // Windows' reading: a lead byte takes the next byte unless the string
  // ends there or the next is a NUL; what the table lacks is the code
  // page's invalid character (and `*bad` is set).
  std::u16string decode(std::string_view bytes, bool* bad) const {
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
      auto b = static_cast<unsigned char>(bytes[i]);
      char16_t c = single_[b];
      if (lead_[b]) {
        c = 0;
        if (i + 1 < bytes.size() && bytes[i + 1] != 0) c = pairs_[b << 8 | static_cast<unsigned char>(bytes[++i])];
      }
      if (!c && b) {
        c = invalidCharacter(id_);
        *bad = true;
      }
      out.push_back(c);
    }
    return out;
  }

  // The Windows-only single bytes, which iconv cannot write.
  bool windowsByte(char16_t c, char* byte) const {
    for (auto& w : kWindowsBytes)
      if (w.codePage == id_ && w.ch == c) return *byte = static_cast<char>(w.byte), true;
    return false;
  }

 private:
  // One byte sequence on its own: its one character, or 0 (`*cut` when
  // iconv wants more bytes).
  static char16_t decodeOne(Iconv& cv, const char* in, size_t n, bool* cut) {
    cv.reset();
    char out[8];
    char* o = out;
    size_t oLeft = sizeof out, inLeft = n;
    char* i = const_cast<char*>(in);
    size_t r = iconv(cv.raw(), &i, &inLeft, &o, &oLeft);
    if (r == static_cast<size_t>(-1)) *cut = errno == EINVAL;
    if (r != static_cast<size_t>(-1)) iconv(cv.raw(), nullptr, nullptr, &o, &oLeft);
    if (r == static_cast<size_t>(-1) || inLeft != 0 || o - out != 2) return 0;
    return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
  }

  UINT id_;
  std::array<char16_t, 256> single_{};
  std::bitset<256> lead_;
  std::vector<char16_t> pairs_;
};

const CodePageTable& table(UINT cp) {
  static std::mutex mutex;
  static std::map<UINT, std::unique_ptr<CodePageTable>> tables;
  std::lock_guard g(mutex);
  auto& slot = tables[cp];
  if (!slot) slot = std::make_unique<CodePageTable>(cp);
  return *slot;
}

}  // namespace

namespace winsim {

// Paths and traces are nearly always ASCII, which needs no converter.
std::string toUtf8(std::u16string_view s) {
  if (isAscii(s)) return std::string(s.begin(), s.end());
  Iconv& cv = converter("UTF-8", "UTF-16LE");
  std::string bytes = toUtf16Bytes(s), out;
  const char* in = bytes.data();
  size_t left = bytes.size();
  while (!cv.run(in, left, out)) {
    out += "\xEF\xBF\xBD";  // a lone surrogate
    in += 2;
    left -= left >= 2 ? 2 : left;
  }
  return out;
}

std::u16string fromUtf8(std::string_view s) {
  if (isAscii(s)) return std::u16string(s.begin(), s.end());
  Iconv& cv = converter("UTF-16LE", "UTF-8");
  std::string out;
  const char* in = s.data();
  size_t left = s.size();
  while (!cv.run(in, left, out)) {
    out.append("\xFD\xFF", 2);
    ++in;
    --left;
  }
  return fromUtf16Bytes(out);
}

}  // namespace winsim

namespace winsim::detail {

bool knownCodePage(UINT codePage) { return iconvName(codePage) != nullptr; }

// Every code page winsim knows keeps ASCII as it is.
bool decodeAnsi(UINT codePage, std::string_view bytes, std::u16string* text, bool strict) {
  if (!iconvName(codePage)) return false;
  if (isAscii(bytes)) return text->assign(bytes.begin(), bytes.end()), true;
  if (codePage == CP_UTF8) {
    *text = fromUtf8(bytes);
    return !strict || text->find(u'\xFFFD') == std::u16string::npos;
  }
  bool bad = false;
  *text = table(codePage).decode(bytes, &bad);
  return !(strict && bad);
}

std::string encodeAnsi(UINT codePage, std::u16string_view text, char defaultChar, bool* usedDefault) {
  if (isAscii(text)) return std::string(text.begin(), text.end());
  const char* name = iconvName(codePage);
  if (codePage == CP_UTF8) return toUtf8(text);
  const CodePageTable* windows = name ? &table(codePage) : nullptr;
  Iconv& cv = converter(name ? name : "CP1252", "UTF-16LE");
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    char byte;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (windows && windows->windowsByte(c, &byte)) {
      out.push_back(byte);
    } else {
      std::string bytes = toUtf16Bytes(text.substr(i, 1));
      const char* in = bytes.data();
      size_t left = bytes.size();
      cv.reset();
      if (!cv.run(in, left, out)) {
        out.push_back(defaultChar);
        if (usedDefault) *usedDefault = true;
      }
    }
  }
  return out;
}

}  // namespace winsim::detail
