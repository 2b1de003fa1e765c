// What a job script needs of the machine it plays on: the set-up a person
// makes before printing (files, profile entries, registry values, printers)
// and the spooler's side of a job. winsim provides one host, a real Win32
// another; the script player is the same on both.
#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job_cancel.h"
#include "spooler_hooks.h"

namespace jobkit {

namespace fs = std::filesystem;

using HookResult = winsim::HookResult;

// A job as its script asked for it: the document's name, the settings its
// script set (FIELD, value), and the pages it sent (page-start markers).
struct JobSummary {
  std::string document;  // UTF-8
  std::vector<std::pair<std::string, std::string>> settings;
  int pages = 0;
};

// One job as the spooler runs it: the component's hooks in order.
class SpoolerJob {
 public:
  virtual ~SpoolerJob() = default;
  // DrvSplStartDoc; false when the component refused the job or could not be
  // loaded (then error() says why).
  virtual bool startDoc() = 0;
  virtual void write(const void* data, DWORD size) = 0;
  virtual void startPage() = 0;
  virtual void endPage() = 0;
  virtual void endDoc() = 0;
  virtual void abort() = 0;
  virtual void close() = 0;
  // The user cancels the job from the print queue, from a thread of their
  // own, at the point the plan names; the spooler then plays none of its
  // data, and ends and closes it as every job.
  virtual void cancel(const winsim::CancelPlan& plan) = 0;
  virtual bool started() const = 0;
  virtual const HookResult& last() const = 0;
  // The hooks' results since the last take, in the order they were called.
  virtual std::vector<HookResult> takeResults() = 0;
  virtual const std::string& error() const = 0;
};

// A `printer` directive: the named printer, made like the default one when
// new, with the fields given.
struct PrinterChange {
  std::u16string name;
  std::optional<std::u16string> port, driver, driverPath, configFile;
};

struct Fault {
  std::string function;
  int nth = 1;
  bool every = false;
  std::u16string pathPattern;
};

// Every set-up call returns false with a message when this host cannot do
// it; the script then stops there with that message.
class Host {
 public:
  virtual ~Host() = default;
  virtual void changePrinter(const PrinterChange& change) = 0;
  virtual void setPrinterData(std::u16string_view printer, std::u16string_view name, std::vector<uint8_t> data) = 0;
  virtual bool writeFile(std::u16string_view path, std::string_view bytes, std::string* error) = 0;
  virtual bool makeFolder(std::u16string_view path, std::string* error) = 0;  // and the folders it is in
  virtual bool copyFileIn(std::u16string_view path, const fs::path& hostFile, std::string* error) = 0;
  virtual bool deleteFile(std::u16string_view path, std::string* error) = 0;
  // Another program holding a file open, with that access and share mode,
  // until released (a viewer, a backup); false when Windows refuses the open.
  virtual bool holdFile(std::u16string_view path, DWORD access, DWORD share, std::string* error) = 0;
  virtual bool releaseFile(std::u16string_view path, std::string* error) = 0;
  // A scan holding (or no longer holding) the device's port.
  virtual bool holdScanner(bool hold, long long code, std::string* error) = 0;
  virtual bool setProfileString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                                std::u16string_view value, std::string* error) = 0;
  // Registry keys under HKEY_CURRENT_USER, without the hive.
  virtual bool setRegistryString(std::u16string_view key, std::u16string_view name, std::u16string_view value,
                                 std::string* error) = 0;
  virtual bool setRegistryDword(std::u16string_view key, std::u16string_view name, DWORD value, std::string* error) = 0;
  virtual bool deleteRegistryValue(std::u16string_view key, std::u16string_view name, std::string* error) = 0;
  virtual bool setLocale(LANGID lang, std::string* error) = 0;
  virtual bool setCodePage(UINT codePage, std::string* error) = 0;
  virtual UINT codePage() const = 0;
  virtual void queueAnswers(const std::vector<int>& answers) = 0;
  virtual bool addFault(const Fault& fault, std::string* error) = 0;
  // Job 0 takes the spooler's next free number.
  virtual std::unique_ptr<SpoolerJob> newJob(std::u16string_view printer, DWORD id, std::u16string_view document) = 0;
};

}  // namespace jobkit
