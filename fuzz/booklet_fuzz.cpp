// libFuzzer target: booklet jobs of arbitrary records and marker sequences
// through the component's hooks on the simulated machine, every booklet
// setting drawn from the input. Nothing may crash, read or write out of
// bounds, or be left behind (blocks, handles, modules, temp files).
//
// Input: byte 0 and 1 choose the settings; then items of a tag byte, a
// length byte and that many bytes: tag % 6 = 0 a booklet record (the marker
// and the bytes), 1 a page-start marker (its orientation the first byte, a
// four-byte marker when empty), 2 page data, 3 the end-of-pages marker, 4 a
// buffer as it is, 5 startpage and endpage.
#include <winsim/machine.h>
#include <winsim/spooler.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz_machine.h"
#include "jobkit/settings.h"

namespace {

std::vector<uint8_t> settingsFor(uint8_t a, uint8_t b) {
  jobkit::SettingsBuilder s;
  s.with("wBooklet", a & 1)
      .with("wHardwareBooklet", a & 2 ? 2 : (a >> 2) & 1)
      .with("wManualDuplex", a & 8 ? 2 : 0)
      .with("wOverlayMode", a & 16 ? 1 : 0)
      .with("wBookletSide", (a >> 5) & 1)
      .with("wInstructionPage", (a >> 6) & 1)
      .with("wCollate", a >> 7)
      .with("dmCopies", static_cast<int8_t>(b & 0xF0) / 16)
      .with("wBookletBinding", b & 3)
      .with("wBackSideOrder", (b >> 2) & 3);
  return s.build(u"KQ PCL6 Laser");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  winsim::Machine& m = fuzz::Machine();
  static const char16_t* const kModes[] = {u"0", u"1", u"2"};
  static int mode = -1;
  if (mode != data[1] % 3) {
    mode = data[1] % 3;
    m.setProfileString(u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex",
                       kModes[mode]);
  }
  {
    winsim::PrintJob job(u"KQ PCL6 Laser", 0, u"fuzz");
    if (!job.startDoc()) return 0;
    DWORD written = 0;
    auto settings = settingsFor(data[0], data[1]);
    job.write(settings.data(), static_cast<DWORD>(settings.size()), &written);
    auto send = [&](const std::string& bytes) { job.write(bytes.data(), static_cast<DWORD>(bytes.size()), &written); };
    bool inPage = false;
    for (size_t i = 2; i + 2 <= size;) {
      uint8_t tag = data[i] % 6;
      size_t length = std::min<size_t>(data[i + 1], size - i - 2);
      std::string bytes(reinterpret_cast<const char*>(data + i + 2), length);
      i += 2 + length;
      switch (tag) {
        case 0: send(std::string("\x1B\xF0\x10\x00", 4) + bytes); break;
        case 1: send(std::string("\x1B\xF0\x10\xAA", 4) + bytes.substr(0, 1)); break;
        case 2: send(bytes); break;
        case 3: send(std::string("\x1B\xF0\x10\xFF", 4)); break;
        case 4:
          if (!bytes.empty()) send(bytes);
          break;
        case 5:
          inPage ? job.endPage() : job.startPage();
          inPage = !inPage;
          break;
      }
    }
    job.endDoc();
    job.close();
  }
  fuzz::AbortOnLeaks(m);
  return 0;
}
