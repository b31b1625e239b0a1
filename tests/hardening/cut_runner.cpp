#include "cut_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>


namespace crash_testing {
namespace {

// Exit code of a child whose set-up failed before the work began.
constexpr int kSetUpFailed = 120;

std::vector<uint32_t> readJournal(int descriptor) {
  std::vector<uint32_t> values;
  std::vector<char> bytes;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  // A record cut in half by the kill does not count.
  for (size_t at = 0; at + sizeof(uint32_t) <= bytes.size(); at += sizeof(uint32_t)) {
    uint32_t value = 0;
    std::copy(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + sizeof value),
              reinterpret_cast<char*>(&value));
    values.push_back(value);
  }
  return values;
}

struct Child {
  pid_t pid = -1;
  int journal = -1;
};

Child startChild(const CutPlan& plan, const ChildWork& work, const std::string& tempFolder) {
  int ends[2];
  if (::pipe(ends) != 0) return {};
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    return {};
  }
  if (pid == 0) {
    ::close(ends[0]);
    if (::setenv("TMPDIR", tempFolder.c_str(), 1) != 0) ::_exit(kSetUpFailed);
    Journal journal(ends[1]);
    if (plan.kind == CutPlan::Kind::BeforeWrite) {
      const uint64_t limit = countingEnv().writes() + plan.amount;
      countingEnv().setBeforeWrite([limit](uint64_t number) {
        if (number >= limit) ::kill(::getpid(), SIGKILL);
      });
    }
    const int code = work(journal);
    // No destructors, no test framework teardown: the child only works.
    ::_exit(code);
  }
  ::close(ends[1]);
  return {pid, ends[0]};
}

CutOutcome finishChild(const Child& child) {
  CutOutcome outcome;
  if (child.pid < 0) return outcome;
  int status = 0;
  while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.journal = readJournal(child.journal);
  ::close(child.journal);
  if (WIFSIGNALED(status)) {
    outcome.killed = WTERMSIG(status) == SIGKILL;
    if (!outcome.killed) outcome.otherSignal = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  }
  return outcome;
}

}  // namespace

std::string CutPlan::describe() const {
  switch (kind) {
    case Kind::BeforeWrite:
      return "cut before write " + std::to_string(amount);
    case Kind::AfterMicroseconds:
      return "cut after " + std::to_string(amount) + " us";
    case Kind::None:
      break;
  }
  return "no cut";
}

std::vector<CutOutcome> runCut(const std::vector<CutPlan>& plans, const std::vector<ChildWork>& work,
                               const std::vector<std::string>& tempFolders) {
  std::vector<Child> children;
  const uint64_t start = microsecondsNow();
  for (size_t i = 0; i < plans.size(); ++i) children.push_back(startChild(plans[i], work[i], tempFolders[i]));
  // Timed cuts, earliest first.
  std::vector<size_t> timed;
  for (size_t i = 0; i < plans.size(); ++i) {
    if (plans[i].kind == CutPlan::Kind::AfterMicroseconds && children[i].pid > 0) timed.push_back(i);
  }
  std::sort(timed.begin(), timed.end(), [&](size_t a, size_t b) { return plans[a].amount < plans[b].amount; });
  for (size_t i : timed) {
    const uint64_t due = start + plans[i].amount;
    const uint64_t now = microsecondsNow();
    if (due > now) std::this_thread::sleep_for(std::chrono::microseconds(due - now));
    // A child that has already ended stays a zombie until it is waited
    // for, so its process id cannot have been reused.
    ::kill(children[i].pid, SIGKILL);
  }
  std::vector<CutOutcome> outcomes;
  for (const Child& child : children) outcomes.push_back(finishChild(child));
  return outcomes;
}

std::vector<CutPlan> spreadCuts(uint64_t seed, uint64_t writes, uint64_t microseconds, size_t count) {
  std::mt19937_64 random(seed);
  std::vector<CutPlan> plans;
  const size_t byWrite = count - count / 3;
  for (size_t i = 0; i < byWrite; ++i) {
    const uint64_t stretch = std::max<uint64_t>(writes / byWrite, 1);
    plans.push_back(CutPlan::beforeWrite(1 + (i * writes) / byWrite + random() % stretch));
  }
  while (plans.size() < count) plans.push_back(CutPlan::afterMicroseconds(random() % (microseconds + 1)));
  return plans;
}

}  // namespace crash_testing
