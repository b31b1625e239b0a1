// The names in folders, as the POSIX Env looks them up and changes them.
//
// Outside an operation (Env::beginOperation) every lookup of a name that
// does not exist as written lists its folder again, and so sees what other
// programs did meanwhile. During one, every name of a folder is kept as
// platform/kept_names.h tells, so that a further lookup costs a search in
// memory instead of a listing; every name this Env creates, moves or
// deletes changes what is kept as it changes the folder (the functions
// below). Folders are told apart by device and inode. Safe on several
// threads.
//
// A folder is named by an open folder `folder` (AT_FDCWD: the current one)
// and a path relative to it ("" or ".": that folder itself).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::posix {

// Operations nest; what is kept is dropped when the outermost one ends.
void beginFolderOperation();
void endFolderOperation();

// The entry of the folder whose name equals `name` ignoring ASCII letter
// case; the first in byte order when several do, so the answer does not
// depend on the order the folder lists them in. Empty when none does or the
// folder cannot be listed.
std::string findIgnoringCase(int folder, const std::string& path, const std::string& name);
// The names in the folder that begin with the bytes of `prefix`; false
// (errno set) when the folder cannot be listed.
bool namesStartingWith(int folder, const std::string& path, const std::string& prefix,
                       std::vector<std::string>* names);

// The system calls that change names, each telling what is kept of the
// folder once it succeeded. `name` is a path relative to `folder` whose
// last component is the name created or removed. Failures leave errno.
bool removeName(int folder, const std::string& name);
bool renameName(int fromFolder, const std::string& from, int toFolder, const std::string& to);
bool makeFolderNamed(int folder, const std::string& name, mode_t mode);
// A name now exists that may not have before (a file opened with creation,
// a unique file made).
void noteCreated(int folder, const std::string& name);

}  // namespace platform::posix
