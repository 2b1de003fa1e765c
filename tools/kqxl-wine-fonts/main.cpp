// kqxl-wine-fonts: the registry file that makes a Wine prefix draw the
// Windows faces with the fonts the simulated machine draws them with
// (FontSubstitutes), for the Wine differential. Written as regedit writes
// it: UTF-16LE with a byte order mark, since face names are not all ASCII.
#include <winsim/machine.h>

#include <cstdio>
#include <string>

namespace {

std::u16string regString(const std::u16string& s) {
  std::u16string r = u"\"";
  for (char16_t c : s) r += (c == u'"' || c == u'\\') ? std::u16string{u'\\', c} : std::u16string(1, c);
  return r + u"\"";
}

}  // namespace

int main() {
  std::u16string reg = u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
                       u"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n";
  for (auto& [face, standIn] : winsim::windowsFaceStandIns())
    reg += regString(face) + u"=" + regString(winsim::fromUtf8(standIn)) + u"\r\n";
  for (char16_t c : reg) {
    std::putchar(c & 0xFF);
    std::putchar(c >> 8);
  }
  return 0;
}
