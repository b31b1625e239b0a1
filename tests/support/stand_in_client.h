// A running game client for the running-client check: on POSIX a process
// whose argv[0] is the client's Windows path, as Wine shows a Windows
// program; on Windows a window of the client's class ("QELT WndClass"),
// held by a thread of its own.
#pragma once

#include <memory>
#include <string>

namespace testing_support {

// The class of the game client's main window.
extern const char kClientWindowClass[];

class StandInClient {
 public:
  // `programFileName`: the client's program file ("Game.exe").
  explicit StandInClient(const std::string& programFileName);
  ~StandInClient();
  StandInClient(const StandInClient&) = delete;
  StandInClient& operator=(const StandInClient&) = delete;

  // True once the check sees the client (waiting a few seconds for it).
  bool seen() const;
  // Ends the client; the check no longer sees it when this returns.
  void close();

 private:
  struct Running;
  std::string programFileName_;
  std::unique_ptr<Running> running_;
};

}  // namespace testing_support
