// The lock of winsim's own bookkeeping: which handles, files, jobs and
// names exist. Windows keeps that in the kernel, where no race detector
// sees it order two threads. Were ThreadSanitizer told of these locks, every
// call would order the printers' threads and hide the races of the modules
// above. So under ThreadSanitizer a quiet section neither orders threads nor
// has its accesses checked. What it guards is reached only inside it; the
// objects it hands out order their users themselves (core/handle_table.h).
#pragma once

#include <atomic>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#define WINSIM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WINSIM_TSAN 1
#endif
#endif

#ifdef WINSIM_TSAN
extern "C" {
void AnnotateIgnoreSyncBegin(const char* file, int line);
void AnnotateIgnoreSyncEnd(const char* file, int line);
void AnnotateIgnoreReadsBegin(const char* file, int line);
void AnnotateIgnoreReadsEnd(const char* file, int line);
void AnnotateIgnoreWritesBegin(const char* file, int line);
void AnnotateIgnoreWritesEnd(const char* file, int line);
}
#endif

namespace winsim::detail {

class QuietMutex {
 public:
  void lock() {
#ifdef WINSIM_TSAN
    AnnotateIgnoreSyncBegin(__FILE__, __LINE__);
    mu_.lock();
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
#else
    mu_.lock();
#endif
  }
  void unlock() {
#ifdef WINSIM_TSAN
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
    mu_.unlock();
    AnnotateIgnoreSyncEnd(__FILE__, __LINE__);
#else
    mu_.unlock();
#endif
  }

 private:
  std::mutex mu_;
};

using QuietLock = std::lock_guard<QuietMutex>;

// An object one thread makes and others find through quiet bookkeeping: a
// finder that sees it published is ordered after whatever its maker did
// before, its lock's making included.
class Publication {
 public:
  void publish() { ready_.store(true, std::memory_order_release); }
  bool published() const { return ready_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> ready_{false};
};

}  // namespace winsim::detail
