// A stand-in for the dialog thread: answers a worker's sends on a thread of
// its own and records them, so worker-side code can be tested without the
// dialog.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frontend/dialog_channel.h"

namespace frontend_testing {

class DialogResponder : private qelt::IDialogHandler {
 public:
  DialogResponder()
      : thread_([this] {
          while (channel_.dispatchNext(this)) {
          }
        }) {}
  ~DialogResponder() {
    channel_.close();
    thread_.join();
  }

  qelt::DialogChannel* channel() { return &channel_; }

  // The folder picker's next answers, in order; none left: no folder.
  void answerPicker(const std::string& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.push_back(folder);
  }
  int pickerShown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pickerShown_;
  }
  std::vector<qelt::WorkerMessage> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  void onCommand(qelt::DialogCommand) override {}
  qelt::WorkerReply onMessage(const qelt::WorkerMessage& message) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
    qelt::WorkerReply reply;
    if (message.kind == qelt::WorkerMessageKind::PickFolder) {
      ++pickerShown_;
      if (!folders_.empty()) {
        reply.accepted = true;
        reply.folder = folders_.front();
        folders_.pop_front();
      }
    }
    return reply;
  }

  std::mutex mutex_;
  std::deque<std::string> folders_;
  int pickerShown_ = 0;
  std::vector<qelt::WorkerMessage> messages_;
  qelt::DialogChannel channel_;
  std::thread thread_;
};

}  // namespace frontend_testing
