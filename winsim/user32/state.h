// user32's part of the machine: the message boxes shown and the answers
// waiting for them.
#pragma once

#include <deque>

#include "core/state.h"

namespace winsim::detail {

struct User32State final : DllPart {
  static constexpr Dll kDll = Dll::User32;

  // Scripted answers belong to the thread that queued them: several hosts
  // may play on one machine at once, one thread each.
  mutable QuietMutex mu;
  std::map<std::thread::id, std::deque<int>> answers;
  std::vector<MessageBoxRecord> boxes;              // while the history is kept
  std::function<int(const MessageBoxRecord&)> ask;  // set while no job plays
};

inline User32State& user32(State& s) { return part<User32State>(s); }
inline const User32State& user32(const State& s) { return part<User32State>(s); }

}  // namespace winsim::detail
