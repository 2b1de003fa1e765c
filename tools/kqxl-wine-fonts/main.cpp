// kqxl-wine-fonts: the registry file that makes a Wine prefix draw text with
// the fonts the simulated machine draws it with, for the Wine differential:
// the Windows faces substituted by their stand-ins (FontSubstitutes), and
// each stand-in linked to the fonts its missing characters come from
// (SystemLink, "FILE,FACE" as Windows lists them). Written as regedit
// writes it: UTF-16LE with a byte order mark, as face names are not all
// ASCII.
#include <fontconfig/fontconfig.h>
#include <winsim/machine.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

namespace {

std::u16string regString(const std::u16string& s) {
  std::u16string r = u"\"";
  for (char16_t c : s) r += (c == u'"' || c == u'\\') ? std::u16string{u'\\', c} : std::u16string(1, c);
  return r + u"\"";
}

// A REG_MULTI_SZ value as regedit writes it: its UTF-16LE bytes in hex.
std::u16string regMultiString(const std::vector<std::u16string>& items) {
  std::u16string bytes;
  for (auto& item : items) bytes += item + u'\0';
  bytes += u'\0';
  std::string hex = "hex(7):";
  char pair[8];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, "%s%02x,%02x", i ? "," : "", bytes[i] & 0xFF, bytes[i] >> 8);
    hex += pair;
  }
  return winsim::fromUtf8(hex);
}

// The file fontconfig has for an installed family, by its name alone; empty
// when none has that family.
std::string fileOf(const std::string& family) {
  FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult result;
  FcPattern* font = FcFontMatch(nullptr, p, &result);
  FcPatternDestroy(p);
  std::string file;
  FcChar8 *name = nullptr, *path = nullptr;
  if (font && FcPatternGetString(font, FC_FAMILY, 0, &name) == FcResultMatch &&
      FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family.c_str())) == 0 &&
      FcPatternGetString(font, FC_FILE, 0, &path) == FcResultMatch)
    file = std::filesystem::path(reinterpret_cast<const char*>(path)).filename().string();
  if (font) FcPatternDestroy(font);
  return file;
}

}  // namespace

int main() {
  std::u16string reg =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n";
  std::set<std::string> standIns;
  for (auto& [face, standIn] : winsim::windowsFaceStandIns()) {
    reg += regString(face) + u"=" + regString(winsim::fromUtf8(standIn)) + u"\r\n";
    standIns.insert(standIn);
  }
  std::vector<std::u16string> links;
  for (auto& family : winsim::windowsFontLinks(1252))
    if (std::string file = fileOf(family); !file.empty()) links.push_back(winsim::fromUtf8(file + "," + family));
  reg += u"\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n";
  for (auto& family : standIns) reg += regString(winsim::fromUtf8(family)) + u"=" + regMultiString(links) + u"\r\n";
  for (char16_t c : reg) {
    std::putchar(c & 0xFF);
    std::putchar(c >> 8);
  }
  return 0;
}
