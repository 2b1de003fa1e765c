#include "imports.h"

#include <cstring>

namespace kqxlwin {

namespace {

template <typename T>
T* At(HMODULE module, DWORD rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

const Redirect* Find(const char* dll, const char* function, const Redirect* redirects, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (lstrcmpiA(redirects[i].dll, dll) == 0 && std::strcmp(redirects[i].function, function) == 0)
      return &redirects[i];
  return nullptr;
}

void Rewrite(ULONG_PTR* slot, void* standIn) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
  *slot = reinterpret_cast<ULONG_PTR>(standIn);
  VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

int RedirectImports(HMODULE module, const Redirect* redirects, size_t count) {
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
  if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
  auto* nt = At<IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return 0;
  int rewritten = 0;
  for (auto* desc = At<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress); desc->Name; ++desc) {
    const char* dll = At<char>(module, desc->Name);
    // The names come from the original thunks; the address table beside
    // them holds what the loader bound.
    auto* names = At<IMAGE_THUNK_DATA>(module, desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk);
    auto* slots = At<IMAGE_THUNK_DATA>(module, desc->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
      if (const Redirect* r = Find(dll, reinterpret_cast<const char*>(byName->Name), redirects, count)) {
        Rewrite(reinterpret_cast<ULONG_PTR*>(&slots->u1.Function), r->standIn);
        ++rewritten;
      }
    }
  }
  return rewritten;
}

namespace {

void (*g_traceSink)(const std::u16string&) = nullptr;

#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C 0x4001000AL
#endif

// Windows raises the wide form first and the ANSI form only when nobody
// took the wide one; taking either continues the caller.
LONG CALLBACK CatchTrace(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* e = info->ExceptionRecord;
  if (!g_traceSink || e->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  if (e->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
    auto* text = reinterpret_cast<const wchar_t*>(e->ExceptionInformation[1]);
    g_traceSink(std::u16string(text, text + lstrlenW(text)));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (e->ExceptionCode == DBG_PRINTEXCEPTION_C) {
    auto* text = reinterpret_cast<const char*>(e->ExceptionInformation[1]);
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
    g_traceSink(std::u16string(wide.begin(), wide.end()));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

TraceCatcher::TraceCatcher(void (*sink)(const std::u16string&)) {
  g_traceSink = sink;
  handler_ = AddVectoredExceptionHandler(1, CatchTrace);
}

TraceCatcher::~TraceCatcher() {
  if (handler_) RemoveVectoredExceptionHandler(handler_);
  g_traceSink = nullptr;
}

}  // namespace kqxlwin
