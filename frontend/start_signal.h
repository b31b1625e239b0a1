// The start event of one attempt: set once by the Start button, waited on
// by the attempt's worker. The dialog can also abandon an attempt that
// waits (Browse, or the player leaving the program); its worker then
// returns without applying.
#pragma once

#include <condition_variable>
#include <mutex>

namespace qelt {

class StartSignal {
 public:
  void start();
  void abandon();
  // Waits until started or abandoned; true when started. A signal that was
  // abandoned cannot be started any more, nor the other way round.
  bool wait();

 private:
  enum class State { Waiting, Started, Abandoned };

  // Moves a waiting signal to `state`; a settled one stays as it is.
  void settle(State state);

  std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = State::Waiting;
};

}  // namespace qelt
