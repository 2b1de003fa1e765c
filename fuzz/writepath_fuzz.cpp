// libFuzzer target: the whole write path. A settings record and a sequence
// of buffers, markers and page events, decoded from the input, played
// through the hooks on the simulated machine. Nothing may crash, read or
// write out of bounds, or be left behind.
//
// Input: byte 0 chooses the record: odd, the next 1625 bytes as they are (a
// hostile record, zero-padded); even, a record built from bytes 1 to 4.
// Then items of a tag byte, a length byte and that many bytes: tag % 11 =
// 0 data, 1 a page-start marker (orientation: the first byte), 2 the
// end-of-pages marker, 3 the watermark marker, 4 the overlay marker, 5 a
// capture start, 6 a capture stop, 7 startpage or endpage, 8 the record
// again with the other orientation, 9 a booklet record, 10 abort.
#include <winsim/spooler.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "jobkit/settings.h"
#include "spooler/messages.h"

namespace {

constexpr size_t kRecord = 1625;

std::vector<uint8_t> builtRecord(const uint8_t* b) {
  jobkit::SettingsBuilder s;
  s.with("wReverseOrder", b[0] & 3)
      .with("wWatermark", (b[0] >> 2) & 1)
      .with("wWatermarkFirstOnly", (b[0] >> 3) & 1)
      .with("wWatermarkOutline", (b[0] >> 4) & 1)
      .with("wTextCapture", (b[0] >> 5) & 1)
      .with("wNoClipToPage", (b[0] >> 6) & 1)
      .with("wCollate", b[1] & 3)
      .with("dmCopies", static_cast<int8_t>(b[1]) >> 4)
      .with("wMediaType", b[1] & 4 ? 3 : 0)
      .with("wOhpMode", (b[2] & 3))
      .with("wManualDuplex", (b[2] >> 2) & 3)
      .with("wBooklet", (b[2] >> 4) & 1)
      .with("wHardwareBooklet", (b[2] >> 5) & 3)
      .with("wOverlayMode", (b[3] & 3) == 3 ? 0 : b[3] & 3)
      .with("wBypass", (b[3] >> 2) & 1)
      .with("dmOrientation", (b[3] >> 3) & 3)
      .with("wWatermarkAngle", static_cast<int8_t>(b[3] & 0xC0) * 2)
      .withText("szWatermarkText", "FUZZ")
      .withText("szWatermarkFont", "DejaVu Sans")
      .withText("szOverlayFile", "C:\\forms\\fuzz.ovl");
  return s.build(u"KQ PCL6 Laser");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  winsim::Machine& m = fuzz::Machine();
  std::vector<uint8_t> record;
  size_t at = 1;
  if (data[0] & 1) {
    record.assign(data + 1, data + std::min(size, 1 + kRecord));
    record.resize(kRecord, 0);
    at += std::min(size - 1, kRecord);
  } else {
    record = builtRecord(data + 1);
    at += 4;
  }
  {
    winsim::PrintJob job(u"KQ PCL6 Laser", 0, u"fuzz");
    if (!job.startDoc()) return 0;
    DWORD written = 0;
    auto send = [&](const void* p, size_t n) { job.write(p, static_cast<DWORD>(n), &written); };
    auto sendText = [&](const std::string& s) { send(s.data(), s.size()); };
    send(record.data(), record.size());
    bool inPage = false;
    while (at + 2 <= size) {
      uint8_t tag = data[at] % 11;
      size_t length = std::min<size_t>(data[at + 1], size - at - 2);
      std::string bytes(reinterpret_cast<const char*>(data + at + 2), length);
      at += 2 + length;
      switch (tag) {
        case 0: if (!bytes.empty()) sendText(bytes); break;
        case 1: sendText(std::string("\x1B\xF0\x10\xAA", 4) + bytes.substr(0, 1)); break;
        case 2: sendText(std::string("\x1B\xF0\x10\xFF", 4)); break;
        case 3: sendText(kWatermarkMarker); break;
        case 4: sendText(kOverlayMarker); break;
        case 5: send(kCaptureStart, 4); break;
        case 6: send(kCaptureStop, 4); break;
        case 7: inPage ? job.endPage() : job.startPage(); inPage = !inPage; break;
        case 8: {
          std::vector<uint8_t> update = record;
          update[76] = update[76] == 2 ? 1 : 2;  // dmOrientation
          send(update.data(), update.size());
          break;
        }
        case 9: sendText(std::string("\x1B\xF0\x10\x00", 4) + bytes); break;
        case 10: job.abort(); break;
      }
    }
    job.endDoc();
    job.close();
  }
  fuzz::AbortOnLeaks(m);
  return 0;
}
