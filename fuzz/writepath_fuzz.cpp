// libFuzzer target: the whole write path. A settings record and a sequence
// of buffers, markers and page events, decoded from the input, played
// through the hooks on the simulated machine. Nothing may crash, read or
// write out of bounds, or be left behind.
//
// Input: byte 0 chooses the record: odd, the next 1625 bytes as they are (a
// hostile record, zero-padded); even, a record built from bytes 1 to 4, and
// when byte 0 % 4 is 2, what the user chooses besides: three strings of a
// length byte and that many bytes, the default user id and the overlay path
// (ANSI) and the registry's "DrvCntCode" and "Overlay Message" (UTF-16,
// pairs of bytes). Whatever
// they hold, the driver's INI file keeps its lines and nothing new appears
// in the driver folder or system32 but the watermark files.
// Then items of a tag byte, a length byte and that many bytes: tag % 11 =
// 0 data, 1 a page-start marker (orientation: the first byte), 2 the
// end-of-pages marker, 3 the watermark marker, 4 the overlay marker, 5 a
// capture start, 6 a capture stop, 7 startpage or endpage, 8 the record
// again with the other orientation, 9 a booklet record, 10 abort.
#include <winsim/spooler.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "jobkit/settings.h"
#include "job/messages.h"
#include "job/settings.h"

namespace {

constexpr size_t kRecord = 1625;

// A length byte and that many bytes from data[at], as far as there are any.
std::string lengthPrefixed(const uint8_t* data, size_t size, size_t& at) {
  if (at >= size) return {};
  size_t n = std::min<size_t>(data[at], size - at - 1);
  std::string s(reinterpret_cast<const char*>(data + at + 1), n);
  at += 1 + n;
  return s;
}

// The user's own registry values the component reads.
const std::pair<const char16_t*, const char16_t*> kUserValues[] = {
    {u"Software\\KQPrint\\KQXL", u"DrvCntCode"}, {u"Software\\KQPrint\\KQXL\\DIZ\\Overlay Data", u"Overlay Message"}};

const std::u16string kDriverDir = u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2";
const std::u16string kIni = kDriverDir + u"\\KQXLEN.INI";

std::set<std::string> namesIn(winsim::Machine& m, const std::u16string& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(m.hostPath(folder), ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name != "kqpcl6.wmk" && name != "kqpcl6_2.wmk") names.insert(name);
  }
  return names;
}

size_t lineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> builtRecord(const uint8_t* b, int askAlways = 0) {
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
      .with("wOverlayAskAlways", askAlways)
      .withText("szOverlayFile", "C:\\forms\\fuzz.ovl");
  return s.build(u"KQ PCL6 Laser");
}

// The record with the user's own strings, and the registry value set.
std::vector<uint8_t> userRecord(winsim::Machine& m, const uint8_t* data, size_t size, size_t& at) {
  std::vector<uint8_t> record = builtRecord(data + 1, 3);  // asked on every job, so that every path is tried
  std::string id = lengthPrefixed(data, size, at), overlay = lengthPrefixed(data, size, at);
  std::memcpy(record.data() + offsetof(KQDEVMODE, szDefaultUserId), id.data(), std::min<size_t>(id.size(), 64));
  std::memset(record.data() + offsetof(KQDEVMODE, szOverlayFile), 0, 260);
  std::memcpy(record.data() + offsetof(KQDEVMODE, szOverlayFile), overlay.data(),
              std::min<size_t>(overlay.size(), 260));
  for (auto [key, name] : kUserValues) {
    std::string bytes = lengthPrefixed(data, size, at);
    std::u16string wide;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      wide.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8));
    m.setRegistryString(key, name, wide);
  }
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  winsim::Machine& m = fuzz::Machine();
  std::vector<uint8_t> record;
  static const bool forms = (m.writeFile(u"C:\\forms\\about.txt", "forms"), true);
  (void)forms;
  static const std::set<std::string> driverFiles = namesIn(m, kDriverDir),
                                     systemFiles = namesIn(m, u"C:\\WINDOWS\\system32");
  static const size_t iniLines = lineCount(slurp(m.hostPath(kIni)));
  m.setProfileString(kIni, u"GetUserID", u"UserID", u"");  // every input's id may be written
  size_t at = 1;
  if (data[0] & 1) {
    record.assign(data + 1, data + std::min(size, 1 + kRecord));
    record.resize(kRecord, 0);
    at += std::min(size - 1, kRecord);
  } else if (data[0] % 4 == 2) {
    at += 4;
    record = userRecord(m, data, size, at);
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
        case 0:
          if (!bytes.empty()) sendText(bytes);
          break;
        case 1: sendText(std::string("\x1B\xF0\x10\xAA", 4) + bytes.substr(0, 1)); break;
        case 2: sendText(std::string("\x1B\xF0\x10\xFF", 4)); break;
        case 3: sendText(kWatermarkMarker); break;
        case 4: sendText(kOverlayMarker); break;
        case 5: send(kCaptureStart, 4); break;
        case 6: send(kCaptureStop, 4); break;
        case 7:
          inPage ? job.endPage() : job.startPage();
          inPage = !inPage;
          break;
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
  for (auto [key, name] : kUserValues) m.deleteRegistryValue(key, name);
  if (lineCount(slurp(m.hostPath(kIni))) != iniLines || namesIn(m, kDriverDir) != driverFiles ||
      namesIn(m, u"C:\\WINDOWS\\system32") != systemFiles) {
    std::fprintf(stderr,
                 "a job changed the driver's INI file's lines, or made a file in the driver folder or system32\n");
    std::abort();
  }
  return 0;
}
