// The host side of winsim: a simulated Windows machine whose drive C: is a
// host folder. One machine is current in a process at a time, as one Windows
// is; the Win32 functions of winsim act on it.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spooler_records.h"

namespace winsim {

namespace fs = std::filesystem;

struct MessageBoxRecord {
  std::u16string text;
  std::optional<std::u16string> caption;  // nullopt: no caption was passed
  UINT style = 0;
  int answer = 0;
};

struct DocumentRecord {
  int number = 0;  // 1, 2, ... in the order documents were started
  std::u16string name;
  uint64_t bytes = 0;
  std::string file;        // where its bytes went, when they went to a file
  bool cancelled = false;  // its job was cancelled while it was open
};

// Something the component left behind: an open handle, a memory block, a
// loaded module or a file in the temp folder.
struct Leak {
  std::string kind;  // "handle", "block", "module", "tempfile"
  std::string what;
};

// Where one spooler document's bytes go. Data streams through; nothing is
// kept whole.
class DocumentSink {
 public:
  virtual ~DocumentSink() = default;
  virtual bool write(const void* data, size_t size) = 0;
  virtual void finish() {}
};

using SinkFactory =
    std::function<std::unique_ptr<DocumentSink>(int number, std::u16string_view name, std::string* file)>;

struct PrinterConfig : PrinterNames {
  std::map<std::u16string, std::vector<uint8_t>> data;  // printer data values
};

// Injected faults. Functions are named as in Win32 ("CreateFileW"). With nth,
// the nth call from now fails; with every, each call fails. A path pattern
// (wildcards * and ?, case-insensitive) limits CreateFileW faults to
// matching paths.
struct FaultPlan {
  std::string function;
  int nth = 1;
  bool every = false;
  std::u16string pathPattern;
};

struct Observer {
  std::function<void(std::u16string_view)> trace;           // OutputDebugStringW
  std::function<void(const MessageBoxRecord&)> messageBox;  // after it was answered
  std::function<void(const std::string& json)> api;         // one JSON object per call
  std::function<void(int number)> documentStarted;          // before its sink is made
  std::function<void(const DocumentRecord&)> documentDone;
};

struct Snapshot {
  size_t handles = 0, blocks = 0, modules = 0;
};

class Machine {
 public:
  // Makes the machine folder `root` (which must exist) the drive C: of the
  // process's current machine.
  explicit Machine(const fs::path& root);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Copies a machine image (the default machine) into a new folder.
  static void createFrom(const fs::path& image, const fs::path& root);

  const fs::path& root() const;
  // The host path a Windows path names (case-insensitive lookup).
  fs::path hostPath(std::u16string_view winPath) const;

  // Files, as a person would set them up before a job.
  // Gives an existing file or folder an 8.3 name, as NTFS makes one: a path
  // may then name it by either.
  void setShortName(std::u16string_view winPath, std::u16string_view shortName);
  void writeFile(std::u16string_view winPath, std::string_view bytes);
  void makeFolder(std::u16string_view winPath);  // and the folders it is in
  void copyFileIn(std::u16string_view winPath, const fs::path& hostFile);
  bool deleteFile(std::u16string_view winPath);
  void setProfileString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                        std::u16string_view value);
  // Another program holds a file open (a viewer, a backup) with that access
  // and share mode: its handle counts in share modes, not among the
  // component's. False, with Windows' error in `error`, when the open is
  // refused. One hold a path; releasing one not held does nothing.
  bool holdFile(std::u16string_view winPath, DWORD access, DWORD share, DWORD* error = nullptr);
  void releaseFile(std::u16string_view winPath);
  // How long a read from a port (COM1, LPT1) waits for data nobody sends
  // (10 s by default); a device name opens its device, not a file.
  void setPortSilence(std::chrono::milliseconds wait);

  // Registry under HKEY_CURRENT_USER; key paths without the hive.
  void setRegistryString(std::u16string_view key, std::u16string_view name, std::u16string_view value);
  void setRegistryDword(std::u16string_view key, std::u16string_view name, DWORD value);
  void deleteRegistryValue(std::u16string_view key, std::u16string_view name);
  std::optional<std::u16string> registryString(std::u16string_view key, std::u16string_view name) const;

  // Printers. The default machine's printers come from C:\winsim\printers.ini.
  void setPrinter(const PrinterConfig& config);  // adds or replaces by name
  std::optional<PrinterConfig> printer(std::u16string_view name) const;
  // A printer added by name alone: the machine's first printer's port and
  // driver (the driver installed on the machine), or the defaults.
  PrinterConfig newPrinter(std::u16string_view name) const;
  void setPrinterData(std::u16string_view printer, std::u16string_view value, std::vector<uint8_t> data);

  void setLocale(LANGID lang);
  void setCodePage(UINT acp);
  UINT codePage() const;

  // Message boxes: scripted answers first, then the callback, else IDOK or
  // the first button of the style. Answers and faults are the calling
  // thread's: they answer and fail only that thread's calls, so that hosts
  // playing on one machine at once, one thread each, keep to their own.
  void queueAnswers(const std::vector<int>& answers);
  void setAnswerCallback(std::function<int(const MessageBoxRecord&)> ask);

  // Returns the rule's number, for faultFired.
  size_t addFault(const FaultPlan& fault);
  int faultFired(size_t rule) const;  // how often that rule failed a call
  // Whether a fault can be injected into FUNCTION (every call winsim logs).
  static bool canFail(std::string_view function);
  void clearFaults();
  // How often each function that faults can hit was called since the
  // machine started (the points a fault could be injected at), and how
  // many injected faults hit.
  std::map<std::string, int> faultPoints() const;
  int faultsFired() const;

  void setObserver(Observer observer);
  // Whether traces, message boxes and finished documents are kept for
  // traces(), messageBoxes() and documents() (on by default; a long run's
  // history takes memory of its own, so hosts that stream it to a log turn
  // it off).
  void setKeepHistory(bool on);
  void setLogApi(bool on);
  void setSinkFactory(SinkFactory factory);

  // What happened.
  std::vector<MessageBoxRecord> messageBoxes() const;
  std::vector<std::u16string> traces() const;
  std::vector<DocumentRecord> documents() const;

  // Bookkeeping: handles, blocks and modules the component holds (the
  // spooler's own are not counted), and files in C:\WINDOWS\TEMP\ that were
  // not there when the machine started.
  Snapshot snapshot() const;
  std::vector<Leak> leaks() const;
  std::vector<std::string> tempFiles() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// UTF-8 <-> UTF-16 for hosts and tools.
std::string toUtf8(std::u16string_view s);
std::u16string fromUtf8(std::string_view s);
// Text in a code page as WideCharToMultiByte writes it, '?' for what the
// code page lacks; any machine's.
std::string toCodePage(std::u16string_view s, UINT codePage);
// Bytes in a code page as MultiByteToWideChar reads them.
std::u16string fromCodePage(std::string_view bytes, UINT codePage);

// The Windows faces the simulated machine's GDI knows, by their English and
// localized names, each with the installed family that stands for it.
std::vector<std::pair<std::u16string, std::string>> windowsFaceStandIns();
// The families a face's missing characters are drawn from on a Windows of
// that ANSI code page, in order (its font links).
std::vector<std::string> windowsFontLinks(UINT acp);

// A JSON string literal of the text, as the event logs write it.
std::string jsonString(std::u16string_view s);

// A sink that writes a document to a host file.
std::unique_ptr<DocumentSink> fileSink(const fs::path& path);

}  // namespace winsim
