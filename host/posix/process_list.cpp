// Looking for a running program by its file name, among the processes
// listed in /proc.
#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "host/process.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace host {
namespace {

constexpr const char* kProcessFolder = "/proc";
constexpr const char* kExecutableLink = "exe";
constexpr const char* kCommandLine = "cmdline";
// Longest argv[0] looked at; the rest of a longer one is not needed.
constexpr uint32_t kCommandLinePrefix = 4096;

struct DirectoryCloser {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

bool isProcessId(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (!std::isdigit(static_cast<unsigned char>(*name))) return false;
  }
  return true;
}

std::string lastComponent(const std::string& path) { return path.substr(platform::findFileName(path)); }

// The file a process runs; empty when it cannot be read (another user's
// process, a kernel thread).
std::string executableOf(const std::string& processFolder) {
  std::vector<char> target(4096);
  ssize_t length = ::readlink((processFolder + "/" + kExecutableLink).c_str(), target.data(), target.size());
  if (length <= 0) return {};
  return std::string(target.data(), static_cast<size_t>(length));
}

// argv[0] of a process: its command line up to the first NUL.
std::string firstArgumentOf(const std::string& processFolder) {
  platform::File file;
  if (!file.open(processFolder + "/" + kCommandLine, platform::Access::Read, platform::Disposition::ExistingOnly)) return {};
  std::string text(kCommandLinePrefix, '\0');
  uint32_t got = 0;
  if (!file.read(text.data(), kCommandLinePrefix, &got)) return {};
  text.resize(got);
  return text.substr(0, text.find('\0'));
}

bool namesMatch(const std::string& path, const std::string& name) {
  return !path.empty() && ::strcasecmp(lastComponent(path).c_str(), name.c_str()) == 0;
}

}  // namespace

bool isProgramRunning(const std::string& programFileName) {
  const std::string name = lastComponent(programFileName);
  if (name.empty()) return false;
  std::unique_ptr<DIR, DirectoryCloser> processes(::opendir(kProcessFolder));
  if (!processes) {
    platform::setLastSystemError(errno);
    return false;
  }
  while (const dirent* entry = ::readdir(processes.get())) {
    if (!isProcessId(entry->d_name)) continue;
    const std::string folder = std::string(kProcessFolder) + "/" + entry->d_name;
    if (namesMatch(executableOf(folder), name) || namesMatch(firstArgumentOf(folder), name)) return true;
  }
  return false;
}

bool isClientRunning(const ClientIdentity& client) { return isProgramRunning(client.programFileName); }

}  // namespace host
