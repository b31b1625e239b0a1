#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/stand_in_client.h"

namespace testing_support {

struct StandInClient::Running {
  pid_t pid = -1;
};

StandInClient::StandInClient(const std::string& programFileName)
    : programFileName_(programFileName), running_(std::make_unique<Running>()) {
  const std::string windowsPath = "C:\\Games\\QELT\\" + programFileName;
  running_->pid = ::fork();
  if (running_->pid == 0) {
    char* argv[] = {const_cast<char*>(windowsPath.c_str()), const_cast<char*>("30"), nullptr};
    ::execvp("sleep", argv);
    ::_exit(127);
  }
}

StandInClient::~StandInClient() { close(); }

void StandInClient::close() {
  if (running_->pid <= 0) return;
  ::kill(running_->pid, SIGKILL);
  ::waitpid(running_->pid, nullptr, 0);
  running_->pid = -1;
}

}  // namespace testing_support
