// Guards that give back what a call took, on every path out of a scope.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstring>
#include <utility>

// A fixed GlobalAlloc block, typed for convenience.
template <typename T = BYTE>
class GlobalBlock {
 public:
  GlobalBlock() = default;
  explicit GlobalBlock(SIZE_T bytes, UINT flags = GMEM_FIXED) : p_(static_cast<T*>(GlobalAlloc(flags, bytes))) {}
  explicit GlobalBlock(T* adopt) : p_(adopt) {}
  ~GlobalBlock() { reset(); }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  GlobalBlock(GlobalBlock&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  GlobalBlock& operator=(GlobalBlock&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* release() { return std::exchange(p_, nullptr); }
  void reset() {
    if (p_) GlobalFree(p_);
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// A growable array in one fixed GlobalAlloc block, kept in a record of
// plain memory (the job record): all zero is an empty array, and the
// record's owner calls Release. Entries it adds read as 0, and so does an
// entry past its end.
template <typename T>
struct GlobalArray {
  T* pItems;
  DWORD dwCapacity;  // entries pItems has room for

  T& operator[](DWORD i) { return pItems[i]; }
  const T& operator[](DWORD i) const { return pItems[i]; }
  T At(DWORD i) const { return i < dwCapacity && pItems ? pItems[i] : T{}; }

  // Room for entry i: the block grows by a quarter, at least `step` entries
  // at a time. FALSE when it cannot; the entries kept stay.
  BOOL Reserve(DWORD i, DWORD step) {
    if (i < dwCapacity) return TRUE;
    DWORD grow = dwCapacity / 4 > step ? dwCapacity / 4 : step;
    DWORD capacity = dwCapacity > 0xFFFFFFFFu - grow ? 0xFFFFFFFFu : dwCapacity + grow;
    if (capacity <= i) capacity = i + 1;
    if (i == 0xFFFFFFFFu || capacity > 0xFFFFFFFFu / sizeof(T)) return FALSE;
    GlobalBlock<T> bigger(capacity * sizeof(T), GMEM_FIXED | GMEM_ZEROINIT);
    if (!bigger) return FALSE;
    if (pItems) std::memcpy(bigger.get(), pItems, dwCapacity * sizeof(T));
    Release();
    pItems = bigger.release();
    dwCapacity = capacity;
    return TRUE;
  }
  void Release() {
    if (pItems) GlobalFree(pItems);
    pItems = nullptr;
    dwCapacity = 0;
  }
};

// A file handle that is open: CreateFileW fails with INVALID_HANDLE_VALUE,
// and a job record's handle is null until one is made.
inline bool IsOpenHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

// A file handle from CreateFileW.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() { reset(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  HANDLE get() const { return h_; }
  bool valid() const { return IsOpenHandle(h_); }
  HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  void reset() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// A registry key; closing a null key is skipped.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (h_) RegCloseKey(h_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  HKEY get() const { return h_; }
  HKEY* out() { return &h_; }

 private:
  HKEY h_ = nullptr;
};

// A loaded module.
class ModuleHandle {
 public:
  ModuleHandle() = default;
  explicit ModuleHandle(HMODULE h) : h_(h) {}
  ~ModuleHandle() {
    if (h_) FreeLibrary(h_);
  }
  ModuleHandle(const ModuleHandle&) = delete;
  ModuleHandle& operator=(const ModuleHandle&) = delete;

  HMODULE get() const { return h_; }
  HMODULE release() { return std::exchange(h_, nullptr); }

 private:
  HMODULE h_ = nullptr;
};
