#include "frontend/start_signal.h"

namespace qelt {

void StartSignal::settle(State state) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (state_ != State::Waiting) return;
  state_ = state;
  changed_.notify_all();
}

void StartSignal::start() { settle(State::Started); }

void StartSignal::abandon() { settle(State::Abandoned); }

bool StartSignal::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return state_ != State::Waiting; });
  return state_ == State::Started;
}

}  // namespace qelt
