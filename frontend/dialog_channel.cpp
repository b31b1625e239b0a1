#include "frontend/dialog_channel.h"

#include <utility>

namespace qelt {

void DialogChannel::post(DialogCommand command) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return;
  items_.push_back({command, nullptr});
  arrived_.notify_one();
}

WorkerReply DialogChannel::send(const WorkerMessage& message) {
  PendingSend pending{&message, {}, false};
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_) return {};
  items_.push_back({DialogCommand::Close, &pending});
  arrived_.notify_one();
  handled_.wait(lock, [&] { return pending.handled; });
  return pending.reply;
}

bool DialogChannel::dispatchNext(IDialogHandler* handler) {
  std::unique_lock<std::mutex> lock(mutex_);
  arrived_.wait(lock, [&] { return !items_.empty() || closed_; });
  if (closed_) return false;
  Item item = items_.front();
  items_.pop_front();
  lock.unlock();
  if (item.send == nullptr) {
    handler->onCommand(item.command);
    return true;
  }
  WorkerReply reply = handler->onMessage(*item.send->message);
  lock.lock();
  item.send->reply = std::move(reply);
  item.send->handled = true;
  handled_.notify_all();
  return true;
}

void DialogChannel::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  arrived_.notify_all();
  for (const Item& item : items_) {
    if (item.send != nullptr) item.send->handled = true;
  }
  items_.clear();
  handled_.notify_all();
}

}  // namespace qelt
