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

// The bytes Windows' tables give a character that iconv's leave out, beside
// the unassigned bytes 0x80 to 0x9F of the single-byte code pages, which
// read as the C1 control of the same value: the private use area for the
// rest of the unassigned bytes, a Hebrew point, the single bytes of the
// double-byte code pages. `count` bytes from `byte` on map to characters
// from `ch` on.
struct WindowsBytes {
  UINT codePage;
  unsigned char byte, count;
  char16_t ch;
};

// clang-format off
constexpr WindowsBytes kWindowsBytes[] = {
    {874,  0xDB, 4, 0xF8C1}, {874,  0xFC, 4, 0xF8C5},
    {932,  0x80, 1, 0x0080}, {932,  0xA0, 1, 0xF8F0}, {932,  0xFD, 3, 0xF8F1},
    {936,  0x80, 1, 0x20AC}, {936,  0xFF, 1, 0xF8F5},
    {949,  0x80, 1, 0x0080}, {949,  0xFF, 1, 0xF8F7},
    {950,  0x80, 1, 0x0080}, {950,  0xFF, 1, 0xF8F8},
    {1253, 0xAA, 1, 0xF8F9}, {1253, 0xD2, 1, 0xF8FA}, {1253, 0xFF, 1, 0xF8FB},
    {1255, 0xCA, 1, 0x05BA}, {1255, 0xD9, 7, 0xF88D}, {1255, 0xFB, 2, 0xF894}, {1255, 0xFF, 1, 0xF896},
    {1257, 0xA1, 1, 0xF8FC}, {1257, 0xA5, 1, 0xF8FD},
};
// clang-format on

// The lead bytes of the double-byte code pages (GetCPInfo's LeadByte).
struct LeadBytes {
  UINT codePage;
  unsigned char first, last;
};
constexpr LeadBytes kLeadBytes[] = {
    {932, 0x81, 0x9F}, {932, 0xE0, 0xFC}, {936, 0x81, 0xFE}, {949, 0x81, 0xFE}, {950, 0x81, 0xFE}};

// The user-defined rows of the double-byte code pages, which Windows reads
// as the private use area, row by row from `ch` on; iconv reads them as
// nothing (CP932's excepted).
enum class Trails { Upper, Big5, Low };  // A1-FE; 40-7E and A1-FE; 40-7E and 80-A0

struct UserDefinedRows {
  UINT codePage;
  unsigned char firstLead, lastLead;
  Trails trails;
  char16_t ch;
};

// clang-format off
constexpr UserDefinedRows kUserDefinedRows[] = {
    {936, 0xAA, 0xAF, Trails::Upper, 0xE000}, {936, 0xF8, 0xFE, Trails::Upper, 0xE234},
    {936, 0xA1, 0xA7, Trails::Low,   0xE4C6},
    {949, 0xC9, 0xC9, Trails::Upper, 0xE000}, {949, 0xFE, 0xFE, Trails::Upper, 0xE05E},
    {950, 0xFA, 0xFE, Trails::Big5,  0xE000}, {950, 0x8E, 0xA0, Trails::Big5,  0xE311},
    {950, 0x81, 0x8D, Trails::Big5,  0xEEB8},
};
// clang-format on

bool isTrail(Trails kind, int t) {
  switch (kind) {
    case Trails::Upper: return t >= 0xA1 && t <= 0xFE;
    case Trails::Big5: return (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE);
    case Trails::Low: return (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xA0);
  }
  return false;
}

// What a byte or pair a code page does not have becomes.
char16_t invalidCharacter(UINT codePage) { return codePage == 932 ? 0x30FB : u'?'; }

// The private-use characters Windows gives bytes its code pages leave
// undefined; MB_ERR_INVALID_CHARS refuses those bytes.
constexpr char16_t kUndefinedFirst = 0xF880, kUndefinedLast = 0xF8FF;

// One code page as Windows reads it: a character for each single byte,
// lead bytes, and a character for each lead and trail byte pair.
class CodePageTable {
 public:
  explicit CodePageTable(UINT cp) : id_(cp) {
    Iconv cv("UTF-16LE", iconvName(cp));
    for (auto& l : kLeadBytes)
      for (int b = l.first; l.codePage == cp && b <= l.last; ++b) lead_[b] = true;
    for (int b = 0; b < 256; ++b) {
      char in[1] = {static_cast<char>(b)};
      if (!lead_[b]) single_[b] = decodeOne(cv, in, 1);
    }
    for (auto& w : kWindowsBytes)
      for (int i = 0; w.codePage == cp && i < w.count; ++i) windowsByte(w.byte + i, w.ch + i);
    for (int b = 0x80; b < 0xA0 && lead_.none(); ++b)
      if (!single_[b]) windowsByte(b, b);
    if (lead_.none()) return;
    pairs_.assign(65536, 0);
    for (int l = 0x80; l < 256; ++l)
      for (int t = 0x40; lead_[l] && t < 256; ++t) {
        char in[2] = {static_cast<char>(l), static_cast<char>(t)};
        pairs_[l << 8 | t] = decodeOne(cv, in, 2);
      }
    readUserDefinedRows();
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
      if (c >= kUndefinedFirst && c <= kUndefinedLast && undefined_[b]) *bad = true;  // as they are, yet invalid
      out.push_back(c);
    }
    return out;
  }

  // A character as Windows writes it in the code page: what iconv writes
  // when it reads back as that character (iconv decomposes what Windows
  // would not write at all), or one of Windows' own bytes.
  bool encode(Iconv& cv, char16_t c, std::string& out) const {
    auto own = windowsBytes_.find(c);
    if (own != windowsBytes_.end()) return out += own->second, true;
    std::string bytes = toUtf16Bytes(std::u16string_view(&c, 1)), written;
    const char* in = bytes.data();
    size_t left = bytes.size();
    cv.reset();
    bool bad = false;
    if (!cv.run(in, left, written) || decode(written, &bad) != std::u16string_view(&c, 1) || bad) return false;
    out += written;
    return true;
  }

 private:
  void readUserDefinedRows() {
    for (auto& rows : kUserDefinedRows) {
      char16_t next = rows.ch;
      for (int l = rows.firstLead; rows.codePage == id_ && l <= rows.lastLead; ++l)
        for (int t = 0x40; t < 0xFF; ++t)
          if (isTrail(rows.trails, t)) windowsPair(l << 8 | t, next++);
    }
    // CP936 also gives the private use area to the codes its symbol rows,
    // the end of its last hanzi row and the low half of row FE leave
    // unassigned, in order, from U+E766 on.
    if (id_ != 936) return;
    char16_t next = 0xE766;
    for (int code = 0xA140; code <= 0xFEA0; ++code) {
      int l = code >> 8, t = code & 0xFF;
      bool row = l <= 0xA9 || (l == 0xD7 && t >= 0xFA) || (l == 0xFE && t <= 0xA0);
      row = row && t >= 0x40 && t != 0x7F && t != 0xFF;
      if (row && !pairs_[code]) windowsPair(code, next++);
    }
  }

  // One byte sequence on its own: its one character, or 0.
  static char16_t decodeOne(Iconv& cv, const char* in, size_t n) {
    cv.reset();
    char out[8];
    char* o = out;
    size_t oLeft = sizeof out, inLeft = n;
    char* i = const_cast<char*>(in);
    size_t r = iconv(cv.raw(), &i, &inLeft, &o, &oLeft);
    if (r != static_cast<size_t>(-1)) iconv(cv.raw(), nullptr, nullptr, &o, &oLeft);
    if (r == static_cast<size_t>(-1) || inLeft != 0 || o - out != 2) return 0;
    return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
  }

  void windowsByte(int byte, char16_t c) {
    single_[byte] = c;
    undefined_[byte] = c >= kUndefinedFirst && c <= kUndefinedLast;
    lead_[byte] = false;
    windowsBytes_[c] = std::string(1, static_cast<char>(byte));
  }
  void windowsPair(int code, char16_t c) {
    pairs_[code] = c;
    windowsBytes_[c] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
  }

  UINT id_;
  std::map<char16_t, std::string> windowsBytes_;  // what iconv cannot write
  std::array<char16_t, 256> single_{};
  std::bitset<256> lead_;
  std::bitset<256> undefined_;
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

namespace winsim {

std::string toCodePage(std::u16string_view s, UINT codePage) { return detail::encodeAnsi(codePage, s, "?", nullptr); }

std::u16string fromCodePage(std::string_view bytes, UINT codePage) {
  std::u16string text;
  detail::decodeAnsi(codePage, bytes, &text, false);
  return text;
}

}  // namespace winsim

namespace winsim::detail {

bool knownCodePage(UINT codePage) { return iconvName(codePage) != nullptr; }

bool isLeadByte(UINT codePage, BYTE byte) {
  for (auto& l : kLeadBytes)
    if (l.codePage == codePage && byte >= l.first && byte <= l.last) return true;
  return false;
}

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

// Character by character, as Windows writes them: a surrogate pair is two
// characters no code page has.
std::string encodeAnsi(UINT codePage, std::u16string_view text, std::string_view defaultChar, bool* usedDefault) {
  if (isAscii(text)) return std::string(text.begin(), text.end());
  if (codePage == CP_UTF8) return toUtf8(text);
  if (!iconvName(codePage)) codePage = 1252;
  const CodePageTable& windows = table(codePage);
  Iconv& cv = converter(iconvName(codePage), "UTF-16LE");
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (!windows.encode(cv, c, out)) {
      out += defaultChar;
      if (usedDefault) *usedDefault = true;
    }
  }
  return out;
}

}  // namespace winsim::detail
