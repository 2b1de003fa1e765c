// kernel32's part of the machine, and what a host sets in it.
#include "kernel32/state.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/seams.h"

namespace winsim::detail {

namespace {

const bool kRegistered = registerPart(Dll::Kernel32, [] { return std::unique_ptr<DllPart>(new Kernel32State); });

std::string hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

}  // namespace

// What is still loaded goes, the spooler's modules and any the component
// leaked, so that a new machine starts from fresh modules; then the files'
// last writes, the handles and the blocks.
void Kernel32State::shutdown(State&) {
  freeAllModules();
  for (auto& f : files.takeAll()) closeHandle(*f);
  {
    QuietLock g(heldMu);
    for (auto& [path, f] : held) closeHandle(*f);
    held.clear();
  }
  QuietLock g(blocksMu);
  for (auto& [p, size] : blocks) std::free(p);
}

// A host reads or changes the files itself.
void Kernel32State::beforeHostAccess(State&) {
  for (auto& [h, f] : files.all()) {
    std::lock_guard g(f->file->mu);
    syncHandles(*f->file);
  }
}

void Kernel32State::leaks(std::vector<Leak>& r) const {
  for (auto& [h, f] : files.all()) r.push_back({"handle", "file " + toUtf8(f->winPath)});
  {
    QuietLock g(blocksMu);
    for (auto& [p, size] : blocks) r.push_back({"block", std::to_string(size) + " bytes at " + hex(p)});
  }
  for (auto& m : loadedModules())
    for (int i = m.spoolerRefs; i < m.refs; ++i) r.push_back({"module", toUtf8(m.winPath)});
}

void Kernel32State::count(Snapshot& snap) const {
  snap.handles += files.size();
  {
    QuietLock g(blocksMu);
    snap.blocks += blocks.size();
  }
  for (auto& m : loadedModules()) snap.modules += static_cast<size_t>(m.refs - m.spoolerRefs);
}

}  // namespace winsim::detail

namespace winsim {

using namespace detail;

void Machine::setProfileString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                               std::u16string_view value) {
  std::u16string s(section), k(key), v(value);
  writeProfileString(file, s.c_str(), k.c_str(), v.c_str());
}

void Machine::setLocale(LANGID lang) { kernel32(state()).lang = lang; }
void Machine::setCodePage(UINT acp) { kernel32(state()).acp = acp; }
UINT Machine::codePage() const { return kernel32(state()).acp; }

std::vector<std::u16string> Machine::traces() const {
  auto& k = kernel32(state());
  QuietLock g(k.tracesMu);
  return k.traces;
}

}  // namespace winsim
