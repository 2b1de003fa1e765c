// The simulated machine as a job script's host: set-up goes straight into
// winsim's machine, jobs through winsim's spooler.
#pragma once

#include <winsim/machine.h>

#include "jobkit/host.h"

namespace jobkit {

class SimHost : public Host {
 public:
  explicit SimHost(winsim::Machine& machine) : machine_(machine) {}

  void changePrinter(const PrinterChange& change) override;
  void setPrinterData(std::u16string_view printer, std::u16string_view name, std::vector<uint8_t> data) override;
  bool writeFile(std::u16string_view path, std::string_view bytes, std::string* error) override;
  bool makeFolder(std::u16string_view path, std::string* error) override;
  bool copyFileIn(std::u16string_view path, const fs::path& hostFile, std::string* error) override;
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
  UINT codePage() const override { return machine_.codePage(); }
  void queueAnswers(const std::vector<int>& answers) override { machine_.queueAnswers(answers); }
  bool addFault(const Fault& fault, std::string* error) override;
  std::unique_ptr<SpoolerJob> newJob(std::u16string_view printer, DWORD id, std::u16string_view document) override;

 private:
  winsim::Machine& machine_;
};

}  // namespace jobkit
