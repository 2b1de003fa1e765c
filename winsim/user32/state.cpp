// user32's part of the machine, and the answers a host gives its boxes.
#include "user32/state.h"

namespace winsim::detail {
namespace {
const bool kRegistered = registerPart(Dll::User32, [] { return std::unique_ptr<DllPart>(new User32State); });
}  // namespace
}  // namespace winsim::detail

namespace winsim {

using namespace detail;

void Machine::queueAnswers(const std::vector<int>& answers) {
  QuietLock g(user32(state()).mu);
  auto& mine = user32(state()).answers[std::this_thread::get_id()];
  mine.insert(mine.end(), answers.begin(), answers.end());
}

void Machine::setAnswerCallback(std::function<int(const MessageBoxRecord&)> ask) {
  user32(state()).ask = std::move(ask);
}

std::vector<MessageBoxRecord> Machine::messageBoxes() const {
  QuietLock g(user32(state()).mu);
  return user32(state()).boxes;
}

}  // namespace winsim
