// The faces people pick on Windows and the free fonts that stand for them:
// metric-compatible ones for the Latin core fonts (Liberation), the Noto
// fonts of the same script and style for the others.
#include "gdi32/fontmap.h"

#include <algorithm>

#include "core/state.h"

namespace winsim::gdi {

namespace {

// The scripts a face has beyond ASCII.
enum Scripts : unsigned {
  kWestern = 1,  // Latin, Cyrillic, Greek: the European code pages and Vietnamese
  kJapanese = 2,
  kSimplified = 4,
  kTraditional = 8,
  kKorean = 16,
  kArabic = 32,
  kHebrew = 64,
  kThai = 128,
};

// Each ANSI code page's character set, the script it needs, and the face a
// Windows of that language draws it with when the face asked for lacks it.
struct CodePageRow {
  UINT codePage;
  BYTE charset;
  Scripts script;
  const char* defaultFace;
};

// clang-format off
constexpr CodePageRow kCodePages[] = {
    {1252, ANSI_CHARSET,        kWestern,     "Liberation Sans"},
    {1250, EASTEUROPE_CHARSET,  kWestern,     "Liberation Sans"},
    {1251, RUSSIAN_CHARSET,     kWestern,     "Liberation Sans"},
    {1253, GREEK_CHARSET,       kWestern,     "Liberation Sans"},
    {1254, TURKISH_CHARSET,     kWestern,     "Liberation Sans"},
    {1257, BALTIC_CHARSET,      kWestern,     "Liberation Sans"},
    {1258, VIETNAMESE_CHARSET,  kWestern,     "Liberation Sans"},
    {1255, HEBREW_CHARSET,      kHebrew,      "Noto Sans Hebrew"},
    {1256, ARABIC_CHARSET,      kArabic,      "Noto Sans Arabic"},
    {874,  THAI_CHARSET,        kThai,        "Noto Sans Thai"},
    {932,  SHIFTJIS_CHARSET,    kJapanese,    "Noto Sans CJK JP"},
    {936,  GB2312_CHARSET,      kSimplified,  "Noto Sans CJK SC"},
    {949,  HANGUL_CHARSET,      kKorean,      "Noto Sans CJK KR"},
    {950,  CHINESEBIG5_CHARSET, kTraditional, "Noto Sans CJK TC"},
};

// The Windows faces, by their English and localized names.
struct WindowsFace {
  const char16_t* names[2];
  const char* standIn;
  unsigned scripts;
};

constexpr unsigned kCoreFont = kWestern | kArabic | kHebrew;  // Arial, Times New Roman, Courier New

constexpr WindowsFace kFaces[] = {
    {{u"Arial"},                           "Liberation Sans",       kCoreFont},
    {{u"Times New Roman"},                 "Liberation Serif",      kCoreFont},
    {{u"Courier New"},                     "Liberation Mono",       kCoreFont},
    {{u"Microsoft Sans Serif"},            "Liberation Sans",       kCoreFont | kThai},
    {{u"Tahoma"},                          "DejaVu Sans",           kCoreFont | kThai},
    {{u"Segoe UI"},                        "Noto Sans",             kCoreFont},
    {{u"Verdana"},                         "DejaVu Sans",           kWestern},
    {{u"MS Gothic", u"ＭＳ ゴシック"},      "Noto Sans Mono CJK JP", kJapanese},
    {{u"MS PGothic", u"ＭＳ Ｐゴシック"},   "Noto Sans CJK JP",      kJapanese},
    {{u"MS UI Gothic"},                    "Noto Sans CJK JP",      kJapanese},
    {{u"MS Mincho", u"ＭＳ 明朝"},          "Noto Serif CJK JP",     kJapanese},
    {{u"MS PMincho", u"ＭＳ Ｐ明朝"},       "Noto Serif CJK JP",     kJapanese},
    {{u"Meiryo", u"メイリオ"},              "Noto Sans CJK JP",      kJapanese},
    {{u"Yu Gothic", u"游ゴシック"},         "Noto Sans CJK JP",      kJapanese},
    {{u"Yu Mincho", u"游明朝"},             "Noto Serif CJK JP",     kJapanese},
    {{u"SimSun", u"宋体"},                  "Noto Serif CJK SC",     kSimplified},
    {{u"NSimSun", u"新宋体"},               "Noto Serif CJK SC",     kSimplified},
    {{u"SimHei", u"黑体"},                  "Noto Sans CJK SC",      kSimplified},
    {{u"Microsoft YaHei", u"微软雅黑"},     "Noto Sans CJK SC",      kSimplified},
    {{u"MingLiU", u"細明體"},               "Noto Serif CJK TC",     kTraditional},
    {{u"PMingLiU", u"新細明體"},            "Noto Serif CJK TC",     kTraditional},
    {{u"Microsoft JhengHei", u"微軟正黑體"}, "Noto Sans CJK TC",      kTraditional},
    {{u"Gulim", u"굴림"},                   "Noto Sans CJK KR",      kKorean},
    {{u"GulimChe", u"굴림체"},              "Noto Sans Mono CJK KR", kKorean},
    {{u"Dotum", u"돋움"},                   "Noto Sans CJK KR",      kKorean},
    {{u"Batang", u"바탕"},                  "Noto Serif CJK KR",     kKorean},
    {{u"Gungsuh", u"궁서"},                 "Noto Serif CJK KR",     kKorean},
    {{u"Malgun Gothic", u"맑은 고딕"},      "Noto Sans CJK KR",      kKorean},
    {{u"Simplified Arabic"},               "Noto Naskh Arabic",     kArabic},
    {{u"Traditional Arabic"},              "Noto Naskh Arabic",     kArabic},
    {{u"Arabic Typesetting"},              "Noto Naskh Arabic",     kArabic},
    {{u"David"},                           "Noto Serif Hebrew",     kHebrew},
    {{u"Miriam"},                          "Noto Sans Hebrew",      kHebrew},
    {{u"Narkisim"},                        "Noto Serif Hebrew",     kHebrew},
    {{u"Angsana New"},                     "Noto Serif Thai",       kThai},
    {{u"Cordia New"},                      "Noto Sans Thai",        kThai},
    {{u"Browallia New"},                   "Noto Sans Thai",        kThai},
    {{u"Leelawadee"},                      "Noto Sans Thai",        kThai},
    {{u"Leelawadee UI"},                   "Noto Sans Thai",        kThai},
};
// clang-format on

// The order Windows links the East Asian fonts in when the machine's own
// language is none of them; a Windows of one of those languages links its
// own first. The scripts Uniscribe falls back for come after.
constexpr UINT kLinkOrder[] = {932, 950, 936, 949, 1256, 1255, 874};

const CodePageRow* rowOfCodePage(UINT codePage) {
  for (auto& r : kCodePages)
    if (r.codePage == codePage) return &r;
  return nullptr;
}

const CodePageRow* rowOfCharset(UINT charset) {
  for (auto& r : kCodePages)
    if (r.charset == charset) return &r;
  return nullptr;
}

const WindowsFace* windowsFace(std::u16string_view name) {
  for (auto& f : kFaces)
    for (const char16_t* n : f.names)
      if (n && detail::equalsNoCase(name, n)) return &f;
  return nullptr;
}

// The character set a face reports: the one asked for when it has its
// script, else its own.
BYTE charsetOf(const WindowsFace& face, const CodePageRow& preferred) {
  if (face.scripts & preferred.script) return preferred.charset;
  for (auto& r : kCodePages)
    if (face.scripts & r.script) return r.charset;
  return ANSI_CHARSET;
}

std::vector<std::string> linksFor(UINT acp, const std::string& face) {
  std::vector<std::string> links;
  auto add = [&](UINT cp) {
    const CodePageRow* r = rowOfCodePage(cp);
    if (r && r->script != kWestern && r->defaultFace != face &&
        std::find(links.begin(), links.end(), r->defaultFace) == links.end())
      links.push_back(r->defaultFace);
  };
  add(acp);
  for (UINT cp : kLinkOrder) add(cp);
  return links;
}

}  // namespace

FaceChoice chooseFace(std::u16string_view faceName, BYTE charset, UINT acp) {
  const CodePageRow* machine = rowOfCodePage(acp);
  if (!machine) machine = &kCodePages[0];
  // DEFAULT_CHARSET asks for the machine's own.
  const CodePageRow* wanted = charset == DEFAULT_CHARSET ? machine : rowOfCharset(charset);
  const CodePageRow& preferred = wanted ? *wanted : *machine;
  FaceChoice choice;
  if (const WindowsFace* face = windowsFace(faceName)) {
    if (charset == DEFAULT_CHARSET || !wanted || (face->scripts & wanted->script)) {
      choice.faces = {face->standIn};
      choice.charset = charsetOf(*face, preferred);
    }
  } else if (!faceName.empty()) {
    choice.faces = {toUtf8(faceName)};  // a face of this machine's own, when installed
    choice.charset = preferred.charset;
  }
  // A face that lacks the character set asked for gives way to the face a
  // Windows of that language draws it with, as a missing face does.
  if (choice.faces.empty()) choice.charset = preferred.charset;
  if (std::find(choice.faces.begin(), choice.faces.end(), preferred.defaultFace) == choice.faces.end())
    choice.faces.push_back(preferred.defaultFace);
  choice.links = linksFor(acp, choice.faces[0]);
  return choice;
}

std::vector<std::pair<std::u16string, std::string>> faceStandIns() {
  std::vector<std::pair<std::u16string, std::string>> r;
  for (auto& f : kFaces)
    for (const char16_t* n : f.names)
      if (n) r.emplace_back(n, f.standIn);
  return r;
}

bool charsetOfCodePage(UINT codePage, UINT* charset) {
  const CodePageRow* r = rowOfCodePage(codePage);
  if (r) *charset = r->charset;
  return r != nullptr;
}

bool codePageOfCharset(UINT charset, UINT* codePage) {
  const CodePageRow* r = rowOfCharset(charset);
  if (r) *codePage = r->codePage;
  return r != nullptr;
}

}  // namespace winsim::gdi

namespace winsim {
std::vector<std::pair<std::u16string, std::string>> windowsFaceStandIns() { return gdi::faceStandIns(); }
std::vector<std::string> windowsFontLinks(UINT acp) { return gdi::chooseFace(u"", DEFAULT_CHARSET, acp).links; }
}  // namespace winsim
