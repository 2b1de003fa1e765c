#include "jobkit/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "jobkit/syntax.h"
#include "jobkit/text.h"
#include "job/record.h"

namespace jobkit {

namespace {

#define DM_FIELD(name, kind, width) \
  { #name, offsetof(KQDEVMODE, dm) + offsetof(DEVMODEW, name), FieldKind::kind, width }
#define KQ_FIELD(name, kind, width) \
  { #name, offsetof(KQDEVMODE, name), FieldKind::kind, width }

const std::vector<SettingsField> kFields = {
    DM_FIELD(dmDeviceName, Wide, CCHDEVICENAME),
    DM_FIELD(dmSpecVersion, Word, 0),
    DM_FIELD(dmDriverVersion, Word, 0),
    DM_FIELD(dmSize, Word, 0),
    DM_FIELD(dmDriverExtra, Word, 0),
    DM_FIELD(dmFields, Dword, 0),
    DM_FIELD(dmOrientation, Short, 0),
    DM_FIELD(dmPaperSize, Short, 0),
    DM_FIELD(dmPaperLength, Short, 0),
    DM_FIELD(dmPaperWidth, Short, 0),
    DM_FIELD(dmScale, Short, 0),
    DM_FIELD(dmCopies, Short, 0),
    DM_FIELD(dmDefaultSource, Short, 0),
    DM_FIELD(dmPrintQuality, Short, 0),
    DM_FIELD(dmColor, Short, 0),
    DM_FIELD(dmDuplex, Short, 0),
    DM_FIELD(dmYResolution, Short, 0),
    DM_FIELD(dmTTOption, Short, 0),
    DM_FIELD(dmCollate, Short, 0),
    DM_FIELD(dmFormName, Wide, CCHFORMNAME),
    KQ_FIELD(wMediaType, Word, 0),
    KQ_FIELD(wOhpMode, Short, 0),
    KQ_FIELD(wOverlayAskAlways, Word, 0),
    KQ_FIELD(wTextCapture, Word, 0),
    KQ_FIELD(wTextCaptureMode, Word, 0),
    KQ_FIELD(wWatermarkSizeRule, Word, 0),
    KQ_FIELD(wBooklet, Word, 0),
    KQ_FIELD(wNoClipToPage, Word, 0),
    KQ_FIELD(szOverlayFile, Ansi, 260),
    KQ_FIELD(wOverlayMode, Word, 0),
    KQ_FIELD(wManualDuplex, Word, 0),
    KQ_FIELD(wInstructionPage, Short, 0),
    KQ_FIELD(wBackSideOrder, Word, 0),
    KQ_FIELD(wReverseOrder, Word, 0),
    KQ_FIELD(wCollate, Word, 0),
    KQ_FIELD(wPrinterCopies, Word, 0),
    KQ_FIELD(wOhpSeparatorAfter, Word, 0),
    KQ_FIELD(wOverlayQuery, Word, 0),
    KQ_FIELD(wHardwareBooklet, Word, 0),
    KQ_FIELD(wBookletSide, Word, 0),
    KQ_FIELD(wWatermark, Word, 0),
    KQ_FIELD(szWatermarkText, Ansi, 80),
    KQ_FIELD(wWatermarkSize, Short, 0),
    KQ_FIELD(wWatermarkAngle, Short, 0),
    KQ_FIELD(wBypass, Word, 0),
    KQ_FIELD(szWatermarkFont, Ansi, 32),
    KQ_FIELD(wWatermarkOffsetX, Short, 0),
    KQ_FIELD(wWatermarkOffsetY, Short, 0),
    KQ_FIELD(wWatermarkOutline, Word, 0),
    KQ_FIELD(wWatermarkFirstOnly, Word, 0),
    KQ_FIELD(dwWatermarkColor, Dword, 0),
    KQ_FIELD(dwWatermarkWeight, Long, 0),
    KQ_FIELD(bWatermarkItalic, Byte, 0),
    KQ_FIELD(szDefaultUserId, Ansi, 64),
    KQ_FIELD(wBookletBinding, Word, 0),
};

#undef DM_FIELD
#undef KQ_FIELD

bool numberFits(FieldKind kind, long long v) {
  switch (kind) {
    case FieldKind::Word: return v >= -32768 && v <= 0xFFFF;
    case FieldKind::Short: return v >= -32768 && v <= 0xFFFF;
    case FieldKind::Byte: return v >= -128 && v <= 0xFF;
    case FieldKind::Long:
    case FieldKind::Dword: return v >= INT32_MIN && v <= 0xFFFFFFFFLL;
    default: return false;
  }
}

std::string rangeOf(FieldKind kind) {
  switch (kind) {
    case FieldKind::Byte: return "-128 to 255";
    case FieldKind::Long:
    case FieldKind::Dword: return "-2147483648 to 0xFFFFFFFF";
    default: return "-32768 to 65535";
  }
}

// The values that print, by field: outside them, what the page shows.
struct UsefulRange {
  const char* field;
  long long min, max;
  const char* below;
  const char* above;
  const char* only;  // a switch the field matters under ("" for always)
};

const UsefulRange kUsefulRanges[] = {
    {"dmCopies", 1, 32767, "prints one copy", "", ""},
    {"wWatermarkSize", 1, 792, "prints the watermark as a speck (wWatermarkSize is in points; 72 is an inch high)",
     "is taller than a Letter page (792 points): the letters cover every page; 72 is an inch high", "wWatermark"},
    {"wWatermarkAngle", -360, 360, "is outside -360 to 360 degrees", "is outside -360 to 360 degrees", "wWatermark"},
    {"dmPrintQuality", 300, 600, "is not 300 or 600 dpi: the watermark and forms are drawn in the wrong units",
     "is not 300 or 600 dpi: the watermark and forms are drawn in the wrong units", ""},
};

size_t numberSize(FieldKind kind) {
  switch (kind) {
    case FieldKind::Byte: return 1;
    case FieldKind::Word:
    case FieldKind::Short: return 2;
    default: return 4;
  }
}

}  // namespace

const std::vector<SettingsField>& settingsFields() { return kFields; }

const SettingsField* findSettingsField(std::string_view name) {
  for (auto& f : kFields)
    if (name == f.name) return &f;
  return nullptr;
}

std::optional<long long> parseNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 16) return std::nullopt;
  long long v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    if (v > (std::numeric_limits<long long>::max() - d) / base) return std::nullopt;  // 16 hex digits can overflow
    v = v * base + d;
  }
  return negative ? -v : v;
}

void SettingsBuilder::reset() { values_.clear(); }

std::vector<std::pair<std::string, std::string>> SettingsBuilder::changes(std::u16string_view printerName,
                                                                          UINT codePage) const {
  SettingsBuilder defaults;
  defaults.reset();
  std::vector<uint8_t> mine = build(printerName, codePage), base = defaults.build(printerName, codePage);
  auto isDefault = [&](const SettingsField& f) {
    size_t bytes = f.kind == FieldKind::Ansi ? f.width : f.kind == FieldKind::Wide ? f.width * 2 : numberSize(f.kind);
    return std::memcmp(&mine[f.offset], &base[f.offset], bytes) == 0;
  };
  std::vector<std::pair<std::string, std::string>> out;
  for (auto& entry : values_) {
    const SettingsField* field = entry.first;
    const Value& v = entry.second;
    if (isDefault(*field)) continue;
    std::string value = v.isText ? v.text : std::to_string(v.number);
    auto same = std::find_if(out.begin(), out.end(), [&](auto& c) { return c.first == field->name; });
    if (same == out.end()) out.emplace_back(field->name, value);
    else same->second = value;
  }
  return out;
}

std::string unknownField(std::string_view field) {
  std::vector<std::string_view> names;
  for (auto& f : kFields) names.push_back(f.name);
  return "unknown settings field \"" + std::string(field) + "\"" + didYouMean(field, names);
}

bool SettingsBuilder::set(std::string_view field, std::string_view value, bool isText, std::string* error) {
  const SettingsField* f = findSettingsField(field);
  if (!f) {
    *error = unknownField(field);
    return false;
  }
  Value v;
  bool stringField = f->kind == FieldKind::Ansi || f->kind == FieldKind::Wide;
  if (stringField) {
    v.isText = true;
    v.text = std::string(value);
  } else {
    auto n = parseNumber(value);
    if (!n || !numberFits(f->kind, *n)) {
      *error = "\"" + std::string(value) + "\" is not a value for " + f->name + ", which holds " + rangeOf(f->kind);
      return false;
    }
    v.number = *n;
  }
  (void)isText;
  values_.emplace_back(f, v);
  return true;
}

SettingsBuilder& SettingsBuilder::with(std::string_view field, long long value) {
  std::string error;
  set(field, std::to_string(value), false, &error);
  return *this;
}

SettingsBuilder& SettingsBuilder::withText(std::string_view field, std::string_view utf8) {
  std::string error;
  set(field, utf8, true, &error);
  return *this;
}

std::string ansiField(std::string_view utf8, UINT codePage, size_t width) {
  std::string bytes = toCodePage(utf8, codePage);
  if (bytes.size() <= width) return bytes;
  // The longest run of whole characters that fits.
  std::u16string text = utf16Of(utf8);
  size_t lo = 0, hi = text.size();
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    if (toCodePage(utf8Of(text.substr(0, mid)), codePage).size() <= width) lo = mid;
    else hi = mid - 1;
  }
  return toCodePage(utf8Of(text.substr(0, lo)), codePage);
}

const SettingsBuilder::Value* SettingsBuilder::last(std::string_view field) const {
  const Value* found = nullptr;
  for (auto& [f, v] : values_)
    if (field == f->name) found = &v;
  return found;
}

std::string SettingsBuilder::text(std::string_view field) const {
  const Value* v = last(field);
  return v && v->isText ? v->text : "";
}

void SettingsBuilder::warnOfText(const SettingsField& f, const std::string& text, UINT codePage,
                                 std::vector<std::string>* out) const {
  const CodePageLocale* mine = codePageLocale(codePage);
  std::string where = "code page " + std::to_string(codePage) + (mine ? std::string(" (") + mine->language + ")" : "");
  if (!codePageHolds(text, codePage)) {
    std::string printed = fromCodePage(toCodePage(text, codePage), codePage);
    std::string w = std::string(f.name) + " \"" + text + "\" cannot be written in " + where + ": it arrives as \"" +
                    printed + "\". ";
    std::vector<UINT> holding = codePagesHolding(text);
    if (holding.empty()) {
      w += "No code page of the driver's holds it whole.";
    } else {
      std::string list;
      for (UINT cp : holding)
        list += (list.empty() ? "" : ", ") + std::to_string(cp) + " (" + codePageLocale(cp)->language + ")";
      char locale[8];
      std::snprintf(locale, sizeof locale, "0x%04X", codePageLocale(holding[0])->locale);
      w += "Code pages that hold it: " + list + ". Play it on such a machine: \"codepage " +
           std::to_string(holding[0]) + "\" and \"locale " + locale + "\" in the script (kqxl-mkjob --codepage " +
           std::to_string(holding[0]) + ").";
    }
    out->push_back(w);
  }
  std::string bytes = toCodePage(text, codePage);
  if (bytes.size() > f.width)
    out->push_back(std::string(f.name) + " is " + std::to_string(bytes.size()) + " bytes in " + where +
                   "; the settings record holds " + std::to_string(f.width) + ": it prints as \"" +
                   fromCodePage(ansiField(text, codePage, f.width), codePage) + "\".");
}

std::vector<std::string> SettingsBuilder::warnings(UINT codePage) const {
  std::vector<std::string> out;
  for (auto& f : kFields) {
    if (f.kind != FieldKind::Ansi) continue;
    if (const Value* v = last(f.name); v && !v->text.empty()) warnOfText(f, v->text, codePage, &out);
  }
  for (auto& r : kUsefulRanges) {
    const Value* v = last(r.field);
    if (!v && std::string_view(r.field) != "wWatermarkSize") continue;  // the defaults print, but a size of 0
    long long n = v ? v->number : 0;
    if (*r.only) {
      const Value* on = last(r.only);
      if (!on || on->number == 0) continue;
    }
    if (n < r.min) out.push_back(std::string(r.field) + "=" + std::to_string(n) + " " + r.below + ".");
    else if (n > r.max && *r.above) out.push_back(std::string(r.field) + "=" + std::to_string(n) + " " + r.above + ".");
  }
  if (const Value* on = last("wWatermark"); on && on->number != 0) {
    const Value* text = last("szWatermarkText");
    if (!text || text->text.empty()) out.push_back("The watermark has no text (szWatermarkText): it prints nothing.");
  }
  return out;
}

std::vector<uint8_t> SettingsBuilder::build(std::u16string_view printerName, UINT codePage) const {
  std::vector<uint8_t> record(kSettingsRecordSize, 0);
  auto put = [&](const SettingsField& f, const Value& v) {
    switch (f.kind) {
      case FieldKind::Ansi: {
        std::string bytes = ansiField(v.text, codePage, f.width);
        std::memset(&record[f.offset], 0, f.width);
        std::memcpy(&record[f.offset], bytes.data(), std::min(bytes.size(), f.width));
        break;
      }
      case FieldKind::Wide: {
        std::u16string text = utf16Of(v.text);
        std::memset(&record[f.offset], 0, f.width * 2);
        std::memcpy(&record[f.offset], text.data(), std::min(text.size(), f.width - 1) * 2);
        break;
      }
      default: {
        uint32_t n = static_cast<uint32_t>(v.number);
        std::memcpy(&record[f.offset], &n, numberSize(f.kind));  // little-endian host
      }
    }
  };
  auto number = [](long long n) {
    Value v;
    v.number = n;
    return v;
  };
  Value name;
  name.isText = true;
  name.text = utf8Of(printerName);
  put(*findSettingsField("dmDeviceName"), name);
  put(*findSettingsField("dmSize"), number(sizeof(DEVMODEW)));
  put(*findSettingsField("dmDriverExtra"), number(kSettingsRecordSize - sizeof(DEVMODEW)));
  put(*findSettingsField("dmOrientation"), number(1));
  put(*findSettingsField("dmPaperSize"), number(9));
  put(*findSettingsField("dmScale"), number(100));
  put(*findSettingsField("dmCopies"), number(1));
  put(*findSettingsField("dmPrintQuality"), number(600));
  put(*findSettingsField("dmYResolution"), number(600));
  for (auto& [f, v] : values_) put(*f, v);
  return record;
}

}  // namespace jobkit
