// The one way into the dialog thread. The player's commands are posted and
// return at once; a worker's message is sent and the sender waits until the
// dialog thread has handled it and given its answer, so every message,
// prompts included, is handled completely before the worker goes on.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "frontend/dialog_messages.h"

namespace qelt {

// Where the player's commands go.
class ICommandSink {
 public:
  virtual void post(DialogCommand command) = 0;

 protected:
  ~ICommandSink() = default;
};

// The dialog side: handles what arrives, on the dialog thread.
class IDialogHandler {
 public:
  virtual void onCommand(DialogCommand command) = 0;
  virtual WorkerReply onMessage(const WorkerMessage& message) = 0;

 protected:
  ~IDialogHandler() = default;
};

class DialogChannel : public ICommandSink {
 public:
  DialogChannel() = default;
  DialogChannel(const DialogChannel&) = delete;
  DialogChannel& operator=(const DialogChannel&) = delete;

  void post(DialogCommand command) override;
  // Worker threads: waits until the dialog thread has handled the message.
  // Once the channel is closed, answers at once with an empty reply
  // (no folder, Cancel).
  WorkerReply send(const WorkerMessage& message);
  // Dialog thread: waits for the next command or message, in the order they
  // arrived, and hands it to `handler`. False, without waiting, once the
  // channel is closed.
  bool dispatchNext(IDialogHandler* handler);
  // The dialog has ended: waiting and later senders get the empty reply.
  void close();

 private:
  struct PendingSend {
    const WorkerMessage* message;
    WorkerReply reply;
    bool handled = false;
  };
  // A command when `send` is null, else a worker's message.
  struct Item {
    DialogCommand command;
    PendingSend* send;
  };

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::condition_variable handled_;
  std::deque<Item> items_;
  bool closed_ = false;
};

}  // namespace qelt
