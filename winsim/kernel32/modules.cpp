// LoadLibraryW, GetProcAddress and FreeLibrary. A module is a shared object
// at the host path its Windows path names; loading it calls its DllMain with
// DLL_PROCESS_ATTACH, as the Windows loader does, under the loader lock. The
// loader lock keeps the list of modules too: a module is in it while its
// DllMain runs, and a thread that looks for it meanwhile waits, as on
// Windows, so no one uses a module its DllMain has not made ready.
#include <dlfcn.h>

#include "kernel32/state.h"
#include "core/seams.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

std::recursive_mutex g_loaderLock;

using DllMainFn = BOOL (*)(HINSTANCE, DWORD, LPVOID);

HMODULE moduleHandle(uintptr_t id) { return reinterpret_cast<HMODULE>(0x10000000 + id * 0x10000); }

Module* findModule(State& s, HMODULE h) {
  auto it = kernel32(s).modules.find(reinterpret_cast<uintptr_t>(h));
  return it == kernel32(s).modules.end() ? nullptr : &it->second;
}

void callEntry(void* dl, HMODULE h, DWORD reason, BOOL* result) {
  auto entry = reinterpret_cast<DllMainFn>(dlsym(dl, "DllMain"));
  *result = entry ? entry(reinterpret_cast<HINSTANCE>(h), reason, nullptr) : TRUE;
}

// Windows looks for a bare module name in the system directories.
std::u16string modulePath(std::u16string_view name) {
  if (name.find_first_of(u"\\/:") != std::u16string_view::npos) return fullWinPath(name);
  std::u16string file(name);
  if (file.find(u'.') == std::u16string::npos) file += u".DLL";
  for (auto dir : {windowsDirectory() + u"\\system32\\", windowsDirectory() + u"\\"}) {
    fs::path host;
    std::error_code ec;
    if (hostPathOf(dir + file, &host) && fs::is_regular_file(host, ec)) return fullWinPath(dir + file);
  }
  return fullWinPath(windowsDirectory() + u"\\system32\\" + file);
}

}  // namespace

namespace winsim::detail {

HMODULE spoolerModule(std::u16string_view winPath) {
  std::lock_guard loader(g_loaderLock);
  for (auto& [h, m] : kernel32(state()).modules)
    if (m.spoolerRefs > 0 && m.winPath == winPath) return reinterpret_cast<HMODULE>(h);
  return nullptr;
}

HMODULE loadModule(std::u16string_view name, bool bySpooler) {
  std::lock_guard loader(g_loaderLock);
  auto& s = state();
  std::u16string path = modulePath(name);
  fs::path host;
  std::error_code ec;
  if (!hostPathOf(path, &host) || !fs::is_regular_file(host, ec)) {
    setError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::string key = canonicalKey(host);
  for (auto& [h, m] : kernel32(s).modules) {
    if (m.key != key) continue;
    ++m.refs;
    if (bySpooler) ++m.spoolerRefs;
    return reinterpret_cast<HMODULE>(h);
  }
  void* dl = dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    setError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  HMODULE h = moduleHandle(kernel32(s).nextModule++);
  kernel32(s).modules[reinterpret_cast<uintptr_t>(h)] = Module{key, path, dl, 1, bySpooler ? 1 : 0};
  BOOL ok;
  callEntry(dl, h, DLL_PROCESS_ATTACH, &ok);
  if (!ok) {
    kernel32(s).modules.erase(reinterpret_cast<uintptr_t>(h));
    dlclose(dl);
    setError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  setError(0);
  return h;
}

bool freeModule(HMODULE h, bool bySpooler) {
  std::lock_guard loader(g_loaderLock);
  auto& s = state();
  Module* m = findModule(s, h);
  if (!m) {
    setError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (bySpooler && m->spoolerRefs > 0) --m->spoolerRefs;
  if (--m->refs > 0) return true;
  void* dl = m->dl;
  BOOL ignored;
  callEntry(dl, h, DLL_PROCESS_DETACH, &ignored);
  kernel32(s).modules.erase(reinterpret_cast<uintptr_t>(h));
  dlclose(dl);
  return true;
}

void* moduleSymbol(HMODULE h, const char* name) {
  std::lock_guard loader(g_loaderLock);
  Module* m = findModule(state(), h);
  return m ? dlsym(m->dl, name) : nullptr;
}

std::vector<Module> loadedModules() {
  std::lock_guard loader(g_loaderLock);
  std::vector<Module> r;
  for (auto& [h, m] : kernel32(state()).modules) r.push_back(m);
  return r;
}

// The last loaded first, every reference dropped.
void freeAllModules() {
  for (;;) {
    HMODULE h = nullptr;
    {
      std::lock_guard loader(g_loaderLock);
      auto& modules = kernel32(state()).modules;
      if (modules.empty()) break;
      auto& [id, m] = *modules.rbegin();
      h = reinterpret_cast<HMODULE>(id);
      m.refs = 1;
    }
    freeModule(h, true);
  }
}

}  // namespace winsim::detail

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR name) {
  ApiCall log("LoadLibraryW");
  log.arg("lpLibFileName", name);
  HMODULE h = nullptr;
  if (log.fails(fullWinPath(view(name)))) {
  } else if (!name) {
    setError(ERROR_INVALID_PARAMETER);
  } else {
    h = loadModule(view(name), false);
  }
  log.resultPtr(h);
  return h;
}

BOOL WINAPI FreeLibrary(HMODULE h) {
  ApiCall log("FreeLibrary");
  log.ptr("hLibModule", h);
  bool failing = log.fails();  // the module is unloaded all the same
  BOOL ok = freeModule(h, false) && !failing ? TRUE : FALSE;
  log.result(ok);
  return ok;
}

FARPROC WINAPI GetProcAddress(HMODULE h, LPCSTR name) {
  ApiCall log("GetProcAddress");
  log.ptr("hModule", h);
  bool ordinal = reinterpret_cast<uintptr_t>(name) <= 0xFFFF;
  if (!ordinal) log.arg("lpProcName", name);
  FARPROC proc = nullptr;
  bool known;
  {
    std::lock_guard loader(g_loaderLock);
    known = findModule(state(), h) != nullptr;
  }
  if (log.fails()) {
  } else if (!known) {
    setError(ERROR_MOD_NOT_FOUND);
  } else if (ordinal) {
    setError(ERROR_PROC_NOT_FOUND);
  } else {
    proc = reinterpret_cast<FARPROC>(moduleSymbol(h, name));
    if (!proc) setError(ERROR_PROC_NOT_FOUND);
  }
  log.resultPtr(reinterpret_cast<const void*>(proc));
  return proc;
}

}  // extern "C"
