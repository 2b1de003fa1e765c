// What the spooler's client calls answer: a printer's names, and the
// information records (printer, driver, job) as the spooler lays them out in
// the caller's buffer. Shared by the simulated machine's spooler and
// kqxl-run.exe's, so that both answer alike; self-contained but for the
// platform's <windows.h> and <winspool.h>.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <string>
#include <vector>

namespace winsim {

// The folder a spooler keeps its printers' drivers in: x64\3 for a 64-bit
// spooler, w32x86\2 for a 32-bit one (the simulated machine's).
#ifdef _WIN64
#define KQXL_DRIVER_FOLDER u"C:\\WINDOWS\\system32\\spool\\drivers\\x64\\3\\"
#else
#define KQXL_DRIVER_FOLDER u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\"
#endif

// A printer as the spooler names it; the default machine's printer unless
// set otherwise.
struct PrinterNames {
  std::u16string name = u"KQ PCL6 Laser";
  std::u16string port = u"USB001";
  std::u16string driver = u"KQ PCL6 Driver";
  std::u16string driverPath = KQXL_DRIVER_FOLDER u"KQXL.DLL";
  // The driver's interface module, whose DrvSpl* hooks the spooler calls.
  std::u16string configFile = KQXL_DRIVER_FOLDER u"KQXLUMPD.DLL";
};

// Lays out a structure followed by its strings: the strings lie in the
// caller's buffer after the structure and the structure's pointers point at
// them.
class RecordPacker {
 public:
  RecordPacker(size_t fixed, std::initializer_list<std::u16string> strings) : fixed_(fixed), strings_(strings) {
    size_ = fixed;
    for (auto& s : strings_) size_ += (s.size() + 1) * sizeof(WCHAR);
  }
  // The size query: Windows fails it with ERROR_INSUFFICIENT_BUFFER and
  // reports the size needed.
  bool fits(LPBYTE buffer, DWORD size, LPDWORD needed) const {
    if (needed) *needed = static_cast<DWORD>(size_);
    if (buffer && size >= size_) return true;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  // Writes the strings after the structure; returns their addresses.
  std::vector<LPWSTR> place(LPBYTE buffer) const {
    std::vector<LPWSTR> r;
    auto* p = reinterpret_cast<WCHAR*>(buffer + fixed_);
    for (auto& s : strings_) {
      std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
      r.push_back(p);
      p += s.size() + 1;
    }
    return r;
  }

 private:
  size_t fixed_, size_;
  std::vector<std::u16string> strings_;
};

// GetPrinterW level 2.
inline BOOL PackPrinterInfo2(const PrinterNames& p, LPBYTE buffer, DWORD size, LPDWORD needed) {
  RecordPacker pack(sizeof(PRINTER_INFO_2W), {p.name, u"", p.port, p.driver, u"", u"", u"", u"winprint", u"RAW", u""});
  if (!pack.fits(buffer, size, needed)) return FALSE;
  auto str = pack.place(buffer);
  PRINTER_INFO_2W info{};
  info.pPrinterName = str[0];
  info.pShareName = str[1];
  info.pPortName = str[2];
  info.pDriverName = str[3];
  info.pComment = str[4];
  info.pLocation = str[5];
  info.pSepFile = str[6];
  info.pPrintProcessor = str[7];
  info.pDatatype = str[8];
  info.pParameters = str[9];
  info.Priority = info.DefaultPriority = 1;
  std::memcpy(buffer, &info, sizeof info);
  return TRUE;
}

// GetPrinterDriverW level 2; the environment is the caller's, or x86's.
inline BOOL PackDriverInfo2(const PrinterNames& p, const std::u16string& environment, LPBYTE buffer, DWORD size,
                            LPDWORD needed) {
  std::u16string dir = p.driverPath.substr(0, p.driverPath.find_last_of(u'\\') + 1);
  RecordPacker pack(sizeof(DRIVER_INFO_2W), {p.driver, environment.empty() ? u"Windows NT x86" : environment,
                                             p.driverPath, dir + u"KQXL.PPD", p.configFile});
  if (!pack.fits(buffer, size, needed)) return FALSE;
  auto str = pack.place(buffer);
  DRIVER_INFO_2W info{3, str[0], str[1], str[2], str[3], str[4]};
  std::memcpy(buffer, &info, sizeof info);
  return TRUE;
}

// GetJobW level 1; `status` its JOB_STATUS_* bits.
inline BOOL PackJobInfo1(DWORD jobId, const std::u16string& printer, const std::u16string& document, DWORD status,
                         LPBYTE buffer, DWORD size, LPDWORD needed) {
  RecordPacker pack(sizeof(JOB_INFO_1W), {printer, u"\\\\WINSIM", u"user", document, u"RAW"});
  if (!pack.fits(buffer, size, needed)) return FALSE;
  auto str = pack.place(buffer);
  JOB_INFO_1W info{};
  info.JobId = jobId;
  info.pPrinterName = str[0];
  info.pMachineName = str[1];
  info.pUserName = str[2];
  info.pDocument = str[3];
  info.pDatatype = str[4];
  info.Status = status;
  info.Priority = info.Position = 1;
  std::memcpy(buffer, &info, sizeof info);
  return TRUE;
}

}  // namespace winsim
