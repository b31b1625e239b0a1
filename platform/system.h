// Process-level services: the last system error, temporary files and
// sleeping (the last two through the current Env, env.h).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The system error number of the most recent failed platform call on this
// thread: errno on POSIX, the Win32 error code on Windows, so messages show
// what the system said.
int lastSystemError();
void setLastSystemError(int error);
// The system error an operation below a root fails with when its path
// would leave the root (a link or ".." on the way), see env.h.
int outsideRootError();
// The system error of a lock that another open file holds (OpenFile::lock).
int wouldBlockError();

// The failures callers tell apart, whatever number the system gives them.
enum class ErrorKind {
  Other,
  NotFound,
  AlreadyExists,
  InvalidArgument,
  IsFolder,
  NotFolder,
  OutOfRange,  // a position or size the file cannot take
  NoSpace,
  AccessDenied,
  BadHandle,
  InputOutput,  // the device failed, or a file gave fewer bytes than it held
  Unsupported,  // the system or the Env cannot do this at all
};
// The system's number for `kind` (Other has none: 0).
int systemError(ErrorKind kind);
// What a system error number means; Other for every number not named above.
ErrorKind errorKind(int error);

// The temporary folder, ending with a separator: on POSIX $TMPDIR, else
// "/tmp/"; on Windows what GetTempPathA answers ($TMP, $TEMP, ...).
std::string tempFolder();
// "<folder><prefix><number in upper-case hex>.tmp" (a separator is put
// after `folder` when it has none): the same name for the same prefix and
// number. Creates nothing.
std::string tempFileName(const std::string& folder, const std::string& prefix, uint32_t number);
// Creates a new empty file "<folder><prefix>XXXXXX" whose name no other
// process holds, and returns its path; empty on failure. An empty `folder`
// is the current folder.
std::string createUniqueTempFile(const std::string& folder, const std::string& prefix);

// A name for a scratch file that stands beside the file `name` until it
// replaces it or is removed: ".<name>.<8 random hex digits>.tmp", hidden
// (the leading ".", which the builder's folder scan also passes over) and
// unlikely to be taken; creators still create it exclusively.
std::string scratchNameFor(const std::string& name);
// True when `candidate` is a name scratchNameFor gives for `name`.
bool isScratchNameFor(const std::string& candidate, const std::string& name);
// The bytes every name scratchNameFor gives for `name` begins with.
std::string scratchNamesStart(const std::string& name);
// The bytes every scratch name begins with, whatever file it stands beside.
std::string scratchNamesLead();

void sleepMilliseconds(uint32_t milliseconds);

}  // namespace platform
