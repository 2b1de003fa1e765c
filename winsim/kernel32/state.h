// kernel32's part of the machine: open files, memory blocks, loaded
// modules, the locale and code page, the debugger's output.
#pragma once

#include "core/seams.h"
#include "core/state.h"

namespace winsim::detail {

struct OpenFile {
  int fd = -1;
  std::string key;  // canonical host path, for share modes
  std::u16string winPath;
  DWORD access = 0;
  DWORD share = 0;
  int64_t position = 0;  // the handle's file pointer
  std::string pending;   // written, not yet passed to the host, ending at `position`
  std::string ahead;     // read ahead from `aheadAt`, until anything writes to the file
  int64_t aheadAt = 0;
};

struct Module {
  std::string key;  // canonical host path
  std::u16string winPath;
  void* dl = nullptr;
  int refs = 0;
  int spoolerRefs = 0;  // references the spooler itself holds
};

struct Kernel32State final : DllPart {
  static constexpr Dll kDll = Dll::Kernel32;

  std::map<uintptr_t, OpenFile> files;
  uintptr_t nextFile = 1;
  std::map<void*, size_t> blocks;
  std::map<uintptr_t, Module> modules;
  uintptr_t nextModule = 1;
  LANGID lang = 0x0409;
  UINT acp = 1252;
  std::vector<std::u16string> traces;  // OutputDebugStringW, while the history is kept
  unsigned tempCounter = 0;

  void shutdown(State& s) override;
  void beforePathLookup(State& s) override;
  void leaks(std::vector<Leak>& out) const override;
  void count(Snapshot& snap) const override;
};

inline Kernel32State& kernel32(State& s) { return part<Kernel32State>(s); }
inline const Kernel32State& kernel32(const State& s) { return part<Kernel32State>(s); }

// Writes that handles still hold go to the host files: every handle's, or
// those of one file (by its key).
void flushWrites(State& s);
void flushWrites(State& s, const std::string& key);
// What handles read ahead is dropped: of one file, or of all when the
// host files may have changed.
void forgetReads(State& s, const std::string& key);
void forgetReads(State& s);

// Profile files, for hosts (readProfile: core/seams.h).
bool writeProfileString(std::u16string_view file, LPCWSTR section, LPCWSTR key, LPCWSTR value);

// Code pages (kernel32/codepage.cpp).
bool knownCodePage(UINT codePage);
bool isLeadByte(UINT codePage, BYTE byte);
bool decodeAnsi(UINT codePage, std::string_view bytes, std::u16string* out, bool strict);
std::string encodeAnsi(UINT codePage, std::u16string_view text, char defaultChar, bool* usedDefault);

}  // namespace winsim::detail
