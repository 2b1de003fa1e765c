// A real Win32 as a job script's host: files, profile files, registry,
// locale and code page are the machine's own; the spooler, message boxes
// and traces are the runner's stand-ins.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "jobkit/host.h"

namespace kqxlwin {

class WinHost : public jobkit::Host {
 public:
  WinHost();
  ~WinHost() override;  // a scan still holding the port ends, held files close

  void changePrinter(const jobkit::PrinterChange& change) override;
  void setPrinterData(std::u16string_view printer, std::u16string_view name, std::vector<uint8_t> data) override;
  bool writeFile(std::u16string_view path, std::string_view bytes, std::string* error) override;
  bool makeFolder(std::u16string_view path, std::string* error) override;
  bool copyFileIn(std::u16string_view path, const jobkit::fs::path& hostFile, std::string* error) override;
  bool deleteFile(std::u16string_view path, std::string* error) override;
  bool holdScanner(bool hold, long long code, std::string* error) override;
  bool holdFile(std::u16string_view path, DWORD access, DWORD share, std::string* error) override;
  bool releaseFile(std::u16string_view path, std::string* error) override;
  bool setProfileString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                        std::u16string_view value, std::string* error) override;
  bool setRegistryString(std::u16string_view key, std::u16string_view name, std::u16string_view value,
                         std::string* error) override;
  bool setRegistryDword(std::u16string_view key, std::u16string_view name, DWORD value, std::string* error) override;
  bool deleteRegistryValue(std::u16string_view key, std::u16string_view name, std::string* error) override;
  bool setLocale(LANGID lang, std::string* error) override;
  bool setCodePage(UINT codePage, std::string* error) override;
  UINT codePage() const override { return GetACP(); }
  void queueAnswers(const std::vector<int>& answers) override;
  bool addFault(const jobkit::Fault& fault, std::string* error) override;
  std::unique_ptr<jobkit::SpoolerJob> newJob(std::u16string_view printer, DWORD id,
                                             std::u16string_view document) override;

  // Frees the components the jobs loaded, as the spooler does when it stops.
  void unloadComponents();

 private:
  struct Scan;
  std::unique_ptr<Scan> scan_;
  std::map<std::wstring, HANDLE> held_;  // by the path as given, upper-cased
};

// A job of a printer as the spooler starts it for a program that prints
// (StartDocW): its document goes to `output` when that names a file.
std::unique_ptr<jobkit::SpoolerJob> NewJob(std::u16string_view printer, std::u16string_view document,
                                           std::u16string_view output);

// The scanning side of `scanner hold`, run as a process of its own: holds
// the device's port until `stop` is signalled.
int HoldScannerPort(HANDLE stop, HANDLE held);

}  // namespace kqxlwin
