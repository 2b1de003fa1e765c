// Writes gathered into whole blocks: the port's file and the write-behind of
// winsim's file handles both send a host file 256 KiB a system call, at
// offsets the page cache likes, whatever the sizes their writers use.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

namespace winsim::detail {

constexpr size_t kBlock = 256 * 1024;

// All `n` bytes at offset `at`, retried after signals; false on an error.
inline bool writeAllAt(int fd, const char* p, size_t n, int64_t at) {
  while (n > 0) {
    ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(at));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w, n -= static_cast<size_t>(w), at += w;
  }
  return true;
}

// Adds `n` bytes to `pending` and hands `out(data, size)` every whole block,
// in order: `pending` when it fills (then emptied), and the whole blocks of
// a large piece straight, uncopied, when nothing is pending. `pending` keeps
// its capacity and is never cleared to zeros. False when `out` fails.
template <class Out>
bool gatherBlocks(std::string& pending, const char* p, size_t n, Out&& out) {
  while (n > 0) {
    size_t take = pending.empty() && n >= kBlock ? n - n % kBlock : std::min(n, kBlock - pending.size());
    if (take >= kBlock) {
      if (!out(p, take)) return false;
    } else {
      if (pending.capacity() < kBlock) pending.reserve(kBlock);
      pending.append(p, take);
    }
    p += take, n -= take;
    if (pending.size() == kBlock) {
      bool ok = out(pending.data(), pending.size());
      pending.clear();
      if (!ok) return false;
    }
  }
  return true;
}

}  // namespace winsim::detail
