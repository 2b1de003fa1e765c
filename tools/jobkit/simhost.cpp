#include "jobkit/simhost.h"

#include <winsim/spooler.h>

namespace jobkit {

namespace {

class SimJob : public SpoolerJob {
 public:
  SimJob(std::u16string_view printer, DWORD id, std::u16string_view document) : job_(printer, id, document) {}

  bool startDoc() override { return job_.startDoc(); }
  void write(const void* data, DWORD size) override {
    DWORD written = 0;
    job_.write(data, size, &written);
  }
  void startPage() override { job_.startPage(); }
  void endPage() override { job_.endPage(); }
  void endDoc() override { job_.endDoc(); }
  void abort() override { job_.abort(); }
  void close() override { job_.close(); }
  void cancel(const winsim::CancelPlan& plan) override { job_.cancel(plan); }
  bool started() const override { return job_.started(); }
  const HookResult& last() const override { return job_.last(); }
  std::vector<HookResult> takeResults() override { return job_.takeResults(); }
  const std::string& error() const override { return job_.error(); }

 private:
  winsim::PrintJob job_;
};

}  // namespace

void SimHost::changePrinter(const PrinterChange& change) {
  winsim::PrinterConfig config = machine_.printer(change.name).value_or(machine_.newPrinter(change.name));
  config.name = change.name;
  if (change.port) config.port = *change.port;
  if (change.driver) config.driver = *change.driver;
  if (change.driverPath) config.driverPath = *change.driverPath;
  if (change.configFile) config.configFile = *change.configFile;
  machine_.setPrinter(config);
}

void SimHost::setPrinterData(std::u16string_view printer, std::u16string_view name, std::vector<uint8_t> data) {
  machine_.setPrinterData(printer, name, std::move(data));
}

bool SimHost::writeFile(std::u16string_view path, std::string_view bytes, std::string*) {
  machine_.writeFile(path, bytes);
  return true;
}

bool SimHost::makeFolder(std::u16string_view path, std::string*) {
  machine_.makeFolder(path);
  return true;
}

bool SimHost::copyFileIn(std::u16string_view path, const fs::path& hostFile, std::string*) {
  machine_.copyFileIn(path, hostFile);
  return true;
}

bool SimHost::deleteFile(std::u16string_view path, std::string*) {
  machine_.deleteFile(path);  // a file that is not there is not an error
  return true;
}

// A scan in progress holds the device's port: the scanner component's lock
// file, beside it in system32, names the port it scans through.
bool SimHost::holdScanner(bool hold, long long code, std::string*) {
  const std::u16string lock = u"C:\\WINDOWS\\system32\\zuvav.lck";
  if (hold) machine_.writeFile(lock, std::to_string(code));
  else machine_.deleteFile(lock);
  return true;
}

bool SimHost::holdFile(std::u16string_view path, DWORD access, DWORD share, std::string* error) {
  DWORD code = 0;
  if (machine_.holdFile(path, access, share, &code)) return true;
  return *error = "cannot hold " + winsim::toUtf8(path) + " (error " + std::to_string(code) + ")", false;
}

bool SimHost::releaseFile(std::u16string_view path, std::string*) {
  machine_.releaseFile(path);
  return true;
}

bool SimHost::setProfileString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                               std::u16string_view value, std::string*) {
  machine_.setProfileString(file, section, key, value);
  return true;
}

bool SimHost::setRegistryString(std::u16string_view key, std::u16string_view name, std::u16string_view value,
                                std::string*) {
  machine_.setRegistryString(key, name, value);
  return true;
}

bool SimHost::setRegistryDword(std::u16string_view key, std::u16string_view name, DWORD value, std::string*) {
  machine_.setRegistryDword(key, name, value);
  return true;
}

bool SimHost::deleteRegistryValue(std::u16string_view key, std::u16string_view name, std::string*) {
  machine_.deleteRegistryValue(key, name);
  return true;
}

bool SimHost::setLocale(LANGID lang, std::string*) {
  machine_.setLocale(lang);
  return true;
}

bool SimHost::setCodePage(UINT codePage, std::string*) {
  machine_.setCodePage(codePage);
  return true;
}

bool SimHost::addFault(const Fault& fault, std::string* error) {
  if (!winsim::Machine::canFail(fault.function))
    return *error = fault.function + " is no call the simulated machine can fail", false;
  machine_.addFault(winsim::FaultPlan{fault.function, fault.nth, fault.every, fault.pathPattern});
  return true;
}

std::unique_ptr<SpoolerJob> SimHost::newJob(std::u16string_view printer, DWORD id, std::u16string_view document) {
  return std::make_unique<SimJob>(printer, id, document);
}

}  // namespace jobkit
