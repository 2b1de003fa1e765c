// kernel32's part of the machine: open files, memory blocks, loaded
// modules, the locale and code page, the debugger's output.
#pragma once

#include "core/seams.h"
#include "core/handle_table.h"
#include "core/state.h"

#include <shared_mutex>

namespace winsim::detail {

struct OpenFile;

// What a device name opens (kernel32/devices.cpp): the null device, a port
// (serial or parallel), or the console.
enum class DeviceKind { Null, Port, Console };
struct Device {
  DeviceKind kind;
  std::u16string name;  // the device's own: COM1 for AUX and COM¹
};
// The device a path opens in place of a file, if any.
std::optional<Device> deviceOf(std::u16string_view path);

// A file on the host with handles open on it. Its lock orders whatever its
// handles do (share modes, positions, the writes they hold and the reads
// they keep ahead), and only that.
struct HostFile {
  Publication publication;
  std::mutex mu;
  std::string key;       // canonical host path, for share modes
  std::string hostPath;  // as the first open found it
  std::vector<OpenFile*> handles;
  bool deleteOnClose = false;  // a handle was opened with FILE_FLAG_DELETE_ON_CLOSE
};

struct OpenFile {
  std::shared_ptr<HostFile> file;
  int fd = -1;  // none for a device
  std::u16string winPath;
  DWORD access = 0;
  DWORD share = 0;
  int64_t position = 0;  // the handle's file pointer
  std::string pending;   // written, not yet passed to the host, ending at `position`
  std::string ahead;     // read ahead from `aheadAt`, until anything writes to the file
  int64_t aheadAt = 0;
  std::optional<DeviceKind> device;
};

// A handle's state is its file's: it is locked with the file's lock.
inline std::mutex& lockOf(OpenFile& f) { return f.file->mu; }

struct Module {
  std::string key;  // canonical host path
  std::u16string winPath;
  void* dl = nullptr;
  int refs = 0;
  int spoolerRefs = 0;  // references the spooler itself holds
};

struct Kernel32State final : DllPart {
  static constexpr Dll kDll = Dll::Kernel32;

  HandleTable<OpenFile> files{0x1000, 4};
  // Handles another program holds, by full path: they count in share
  // modes, not as the component's.
  mutable QuietMutex heldMu;
  std::map<std::u16string, std::shared_ptr<OpenFile>> held;
  // How long a read from a port waits for data nobody sends.
  std::atomic<int> portSilenceMs{10000};
  mutable QuietMutex hostFilesMu;
  std::map<std::string, std::weak_ptr<HostFile>> hostFiles;  // by key

  mutable QuietMutex blocksMu;
  std::map<void*, size_t> blocks;

  // Under the loader lock (kernel32/modules.cpp).
  std::map<uintptr_t, Module> modules;
  uintptr_t nextModule = 1;

  std::atomic<LANGID> lang{0x0409};
  std::atomic<UINT> acp{1252};

  std::shared_mutex profilesMu;  // profile files: read shared, written alone

  mutable QuietMutex tracesMu;
  std::vector<std::u16string> traces;  // OutputDebugStringW, while the history is kept

  void shutdown(State& s) override;
  void beforeHostAccess(State& s) override;
  void leaks(std::vector<Leak>& out) const override;
  void count(Snapshot& snap) const override;
};

inline Kernel32State& kernel32(State& s) { return part<Kernel32State>(s); }
inline const Kernel32State& kernel32(const State& s) { return part<Kernel32State>(s); }

// The file at a host path, when handles are open on it; null else.
std::shared_ptr<HostFile> openHostFile(State& s, const fs::path& host);
// Under the file's lock: the writes its handles hold go to the host (and
// what they read ahead is dropped).
void flushWrites(HostFile& f);
void syncHandles(HostFile& f);
void forgetReads(HostFile& f);
// Under no lock: the handle's writes go out and it closes.
void closeHandle(OpenFile& f);
// A whole file read or replaced through a handle of its own, as the profile
// calls do: other handles' share modes apply, and what they wrote is seen.
// False with the last error set.
bool readWholeFile(std::u16string_view winPath, std::string* bytes);
bool replaceWholeFile(std::u16string_view winPath, const std::string& bytes);

// The modules loaded now, as the loader has them; every one unloaded.
std::vector<Module> loadedModules();
void freeAllModules();

// Profile files, for hosts (readProfile: core/seams.h).
bool writeProfileString(std::u16string_view file, LPCWSTR section, LPCWSTR key, LPCWSTR value);

// Code pages (kernel32/codepage.cpp).
bool knownCodePage(UINT codePage);
bool isLeadByte(UINT codePage, BYTE byte);
bool decodeAnsi(UINT codePage, std::string_view bytes, std::u16string* out, bool strict);
// defaultChar: one character of the code page (two bytes for a lead byte's).
std::string encodeAnsi(UINT codePage, std::u16string_view text, std::string_view defaultChar, bool* usedDefault);

}  // namespace winsim::detail
