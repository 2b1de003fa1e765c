// The handles of one kind of object (files, printer handles, device
// contexts, registry keys), as Windows' handle tables keep them: a short
// quiet lock (core/quiet_mutex.h) held only to add, find or take an entry,
// never across a call's work. An object with state that changes keeps a
// lock of its own; so two threads are ordered only when they use the same
// object, as on Windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "core/quiet_mutex.h"

namespace winsim::detail {

// An object's own lock; an object may name another (kernel32's files lock
// the host file their handles share).
template <class T>
std::mutex& lockOf(T& object) {
  return object.mu;
}

// An object found by its handle and locked for as long as this lives.
template <class T>
class Locked {
 public:
  Locked() = default;
  explicit Locked(std::shared_ptr<T> object) : object_(std::move(object)) {
    if (object_) guard_ = std::unique_lock(lockOf(*object_));
  }
  explicit operator bool() const { return object_ != nullptr; }
  T* operator->() const { return object_.get(); }
  T& operator*() const { return *object_; }
  const std::shared_ptr<T>& shared() const { return object_; }
  void unlock() { guard_.unlock(); }

 private:
  std::shared_ptr<T> object_;
  std::unique_lock<std::mutex> guard_;
};

template <class T>
class HandleTable {
 public:
  // Handle values `base + n * step` for n from 1.
  HandleTable(uintptr_t base, uintptr_t step) : base_(base), step_(step) {}

  // The new object's handle. Whoever finds it later is ordered after this.
  HANDLE add(std::shared_ptr<T> object) {
    auto entry = std::make_shared<Entry>();
    entry->object = std::move(object);
    entry->publication.publish();
    QuietLock g(mu_);
    uintptr_t h = base_ + next_++ * step_;
    entries_.emplace(h, std::move(entry));
    return reinterpret_cast<HANDLE>(h);
  }
  HANDLE add(T object) { return add(std::make_shared<T>(std::move(object))); }

  // The object a handle names, or null.
  std::shared_ptr<T> find(const void* h) const {
    std::shared_ptr<Entry> entry;
    {
      QuietLock g(mu_);
      auto it = entries_.find(reinterpret_cast<uintptr_t>(h));
      if (it != entries_.end()) entry = it->second;
    }
    return open(entry);
  }

  // The object a handle names, locked; empty for an unknown handle.
  Locked<T> lock(const void* h) const { return Locked<T>(find(h)); }

  // The object, no longer named by the handle; null for an unknown handle.
  std::shared_ptr<T> take(const void* h) {
    std::shared_ptr<Entry> entry;
    {
      QuietLock g(mu_);
      auto it = entries_.find(reinterpret_cast<uintptr_t>(h));
      if (it == entries_.end()) return nullptr;
      entry = std::move(it->second);  // released outside: it may be the last reference
      entries_.erase(it);
    }
    return open(entry);
  }

  // Every object and its handle, in the order they were added.
  std::vector<std::pair<HANDLE, std::shared_ptr<T>>> all() const {
    std::vector<std::pair<HANDLE, std::shared_ptr<Entry>>> entries;
    {
      QuietLock g(mu_);
      for (auto& [h, entry] : entries_) entries.emplace_back(reinterpret_cast<HANDLE>(h), entry);
    }
    std::vector<std::pair<HANDLE, std::shared_ptr<T>>> r;
    for (auto& [h, entry] : entries) r.emplace_back(h, open(entry));
    return r;
  }

  // The objects, no longer named by any handle (as a machine ends).
  std::vector<std::shared_ptr<T>> takeAll() {
    std::map<uintptr_t, std::shared_ptr<Entry>> entries;
    {
      QuietLock g(mu_);
      entries.swap(entries_);
    }
    std::vector<std::shared_ptr<T>> r;
    for (auto& [h, entry] : entries) r.push_back(open(entry));
    return r;
  }

  size_t size() const {
    QuietLock g(mu_);
    return entries_.size();
  }

 private:
  struct Entry {
    std::shared_ptr<T> object;
    Publication publication;
  };

  static std::shared_ptr<T> open(const std::shared_ptr<Entry>& entry) {
    if (!entry || !entry->publication.published()) return nullptr;
    return entry->object;
  }

  mutable QuietMutex mu_;
  std::map<uintptr_t, std::shared_ptr<Entry>> entries_;
  uintptr_t next_ = 1;
  const uintptr_t base_, step_;
};

}  // namespace winsim::detail
