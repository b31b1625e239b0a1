#include "directory_files.h"

#include <algorithm>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "platform/env.h"
#include "platform/file.h"
#include "platform/system.h"

namespace axptool {
namespace {

const char kSeparator[] = "/";

// Pipes, sockets and devices are no files to pack: opening a pipe for
// reading would wait for a writer that never comes.
bool isRegularFile(const std::string& path) {
  platform::FileInfo info;
  return platform::currentEnv()->pathInfo(path, &info) && !info.directory && !info.special;
}

bool collect(const std::string& folder, const std::string& prefix, std::vector<FileUnder>* files) {
  std::vector<platform::DirectoryEntry> entries;
  if (!platform::listDirectory(folder, &entries)) {
    AXP::reportError(AXP::OpenFailed, AXP::messages::kFolderError, folder.c_str(), platform::lastSystemError());
    return false;
  }
  for (const platform::DirectoryEntry& entry : entries) {
    std::string path = folder;
    if (!AXP::appendPath(&path, entry.name)) return false;
    std::string name = prefix.empty() ? entry.name : prefix + kSeparator + entry.name;
    if (entry.isDirectory) {
      if (!collect(path, name, files)) return false;
    } else if (isRegularFile(path)) {
      files->push_back({name, path});
    }
  }
  return true;
}

}  // namespace

bool listFilesUnder(const std::string& folder, std::vector<FileUnder>* files) {
  files->clear();
  if (!collect(folder, std::string(), files)) return false;
  std::sort(files->begin(), files->end(),
            [](const FileUnder& a, const FileUnder& b) { return a.name < b.name; });
  return true;
}

}  // namespace axptool
