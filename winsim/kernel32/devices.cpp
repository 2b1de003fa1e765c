// The devices Windows opens in place of a file: a path whose last name is a
// reserved device name opens that device in whatever folder it names, as
// does \\.\NAME. The spooler is a service: it has no console.
#include "kernel32/state.h"

namespace winsim::detail {

namespace {

struct Reserved {
  std::u16string_view name;
  DeviceKind kind;
  std::u16string_view opens;  // the device it stands for
};

constexpr Reserved kReserved[] = {
    {u"NUL", DeviceKind::Null, u"NUL"},          {u"AUX", DeviceKind::Port, u"COM1"},
    {u"PRN", DeviceKind::Port, u"LPT1"},         {u"CON", DeviceKind::Console, u"CON"},
    {u"CONIN$", DeviceKind::Console, u"CONIN$"}, {u"CONOUT$", DeviceKind::Console, u"CONOUT$"},
};

// COM and LPT with 1 to 9; Windows takes the Latin-1 superscripts one to
// three as digits. COM0 and LPT0 name files.
char16_t portDigit(char16_t c) {
  if (c >= u'1' && c <= u'9') return c;
  if (c == 0x00B9) return u'1';
  if (c == 0x00B2) return u'2';
  if (c == 0x00B3) return u'3';
  return 0;
}

std::optional<Device> deviceNamed(std::u16string_view name) {
  name = name.substr(0, name.find(u'.'));
  while (!name.empty() && (name.back() == u' ' || name.back() == u':')) name.remove_suffix(1);
  std::u16string up = upper(name);
  for (auto& r : kReserved)
    if (up == r.name) return Device{r.kind, std::u16string(r.opens)};
  if (up.size() == 4 && (up.starts_with(u"COM") || up.starts_with(u"LPT")))
    if (char16_t digit = portDigit(up[3])) return Device{DeviceKind::Port, up.substr(0, 3) + digit};
  return std::nullopt;
}

}  // namespace

std::optional<Device> deviceOf(std::u16string_view path) {
  if (path.starts_with(u"\\\\.\\")) return deviceNamed(path.substr(4));
  if (path.starts_with(u"\\\\")) return std::nullopt;  // \\?\ and shares: names as they stand
  size_t last = path.find_last_of(u"\\/");
  std::u16string_view name = last == std::u16string_view::npos ? path : path.substr(last + 1);
  if (last == std::u16string_view::npos && name.size() >= 2 && name[1] == u':') name.remove_prefix(2);
  return deviceNamed(name);
}

}  // namespace winsim::detail
