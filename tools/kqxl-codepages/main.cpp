// kqxl-codepages: how this machine's MultiByteToWideChar and
// WideCharToMultiByte convert a table of samples in every ANSI code page the
// driver prints in, a line a call. Built for the simulated machine and for
// Windows, so that the two can be compared line by line (the Wine
// differential does).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef _WIN32
#include <winsim/machine.h>

#include <filesystem>
#endif

namespace {

// Each code page, with a text of its language in its own bytes.
struct CodePageSample {
  UINT codePage;
  const char* text;
};

// clang-format off
const CodePageSample kCodePages[] = {
    {874,  "\xC5\xD1\xBA\xC1\xD2\xA1"},                                 // Thai, with a mark above
    {932,  "\x8E\xD0\x8A\x4F\x94\xE9 \x83\x65\x83\x58\x83\x67\xB1\xB2"}, // kanji, katakana, half-width
    {936,  "\xBB\xFA\xC3\xDC\xCE\xC4\xBC\xFE"},
    {949,  "\xB4\xEB\xBF\xDC\xBA\xF1 \x81\x41"},                         // and a Unified Hangul extension
    {950,  "\xBE\xF7\xB1\x4B\xA4\xE5\xA5\xF3"},
    {1250, "Pou\xBE\xED \xA3\xF3" "d\x9F"},
    {1251, "\xD1\xE5\xEA\xF0\xE5\xF2\xED\xEE"},
    {1252, "Gr\xFC\xDF\x65 \x80 \x85"},
    {1253, "\xC5\xCC\xD0\xC9\xD3\xD4\xC5\xD5\xD4\xC9\xCA\xCF"},
    {1254, "G\xDDZL\xDD \xC7" "al\xFD\xFEma"},
    {1255, "\xF1\xE5\xE3\xE9 \xE1\xE9\xE5\xFA\xF8"},                     // ends in a letter a mark may follow
    {1256, "\xD3\xD1\xED \xE1\xE1\xDB\xC7\xED\xC9"},
    {1257, "Slapt\xE0 \xE9\xFEinute"},
    {1258, "BA\xD2N NH\xC1P \xEC"},                                      // a letter and a combining mark
};
// clang-format on

// Unicode texts to write in each code page, without best fit (winsim writes
// what a code page lacks as the default character, as Windows does with
// WC_NO_BEST_FIT_CHARS): one of its own characters, one of none, a surrogate
// pair.
const std::u16string kWideSamples[] = {u"Gr\u00fc\u00dfe",          u"\u65e5\u672c\u8a9e", u"\u0421\u0435\u043a",
                                       u"\u05e1\u05d5\u05d3\u05d9", u"\u0633\u0631\u064a", u"\u0e25\u0e31\u0e1a",
                                       u"A\u0309 \u1ea2 \u00c1",    u"\U0001F600",         u"\u20ac\u0081\uf8f0"};

std::string hexBytes(const char* bytes, int n) {
  std::string r;
  char h[4];
  for (int i = 0; i < n; ++i) {
    std::snprintf(h, sizeof h, i ? " %02X" : "%02X", static_cast<unsigned char>(bytes[i]));
    r += h;
  }
  return r;
}

std::string hexWide(const WCHAR* text, int n) {
  std::string r;
  char h[8];
  for (int i = 0; i < n; ++i) {
    std::snprintf(h, sizeof h, i ? " %04X" : "%04X", static_cast<unsigned>(text[i]));
    r += h;
  }
  return r;
}

void toWide(UINT cp, DWORD flags, const std::string& bytes) {
  WCHAR out[256];
  SetLastError(0);
  int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out, 256);
  DWORD error = n ? 0 : GetLastError();
  int need = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::printf("%u mb flags=0x%lx [%s] -> %d (size %d) [%s] error %lu\n", cp, static_cast<unsigned long>(flags),
              hexBytes(bytes.data(), static_cast<int>(bytes.size())).c_str(), n, need, hexWide(out, n).c_str(),
              static_cast<unsigned long>(error));
}

void toBytes(UINT cp, DWORD flags, const std::u16string& text) {
  char out[256];
  BOOL usedDefault = FALSE;
  SetLastError(0);
  int n = WideCharToMultiByte(cp, flags, reinterpret_cast<const WCHAR*>(text.data()), static_cast<int>(text.size()),
                              out, 256, nullptr, &usedDefault);
  DWORD error = n ? 0 : GetLastError();
  std::printf("%u wc flags=0x%lx [%s] -> %d [%s] default %d error %lu\n", cp, static_cast<unsigned long>(flags),
              hexWide(reinterpret_cast<const WCHAR*>(text.data()), static_cast<int>(text.size())).c_str(), n,
              hexBytes(out, n).c_str(), usedDefault ? 1 : 0, static_cast<unsigned long>(error));
}

// The samples of one code page: its text there and back, the text cut
// after each byte (a lead byte cut off), every byte alone, at the end of a
// text, before a NUL, an 'A', 0xA1 and 0xFE (the first and last trail byte
// of the user-defined rows).
void convertSamples(const CodePageSample& cp) {
  const std::string text = cp.text;
  for (DWORD flags : {DWORD(0), DWORD(MB_PRECOMPOSED)}) {
    toWide(cp.codePage, flags, text);
    for (size_t cut = 1; cut < text.size(); ++cut) toWide(cp.codePage, flags, text.substr(0, cut));
  }
  WCHAR wide[64];
  int n = MultiByteToWideChar(cp.codePage, MB_PRECOMPOSED, text.data(), static_cast<int>(text.size()), wide, 64);
  toBytes(cp.codePage, 0, std::u16string(reinterpret_cast<const char16_t*>(wide), n > 0 ? n : 0));
  for (int b = 0x80; b < 0x100; ++b) {
    std::string one(1, static_cast<char>(b));
    toWide(cp.codePage, MB_PRECOMPOSED, one);
    toWide(cp.codePage, MB_PRECOMPOSED, "x" + one);
    for (const char* next : {"A", "\xA1", "\xFE"}) toWide(cp.codePage, MB_PRECOMPOSED, one + next);
    toWide(cp.codePage, MB_PRECOMPOSED, one + std::string(1, '\0') + "A");
  }
  for (auto& sample : kWideSamples) toBytes(cp.codePage, WC_NO_BEST_FIT_CHARS, sample);
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  // The simulated machine converts on a machine of its own.
  if (argc != 2) {
    std::fprintf(stderr, "usage: kqxl-codepages MACHINE_FOLDER\n");
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  winsim::Machine machine(argv[1]);
#else
  (void)argc;
  (void)argv;
#endif
  for (auto& cp : kCodePages) convertSamples(cp);
  return 0;
}
