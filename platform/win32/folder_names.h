// The names in folders, as the Windows Env searches them and changes them.
//
// The file system finds a name whatever its letter case, so no lookup of
// a path lists a folder; a search for the names that begin with a prefix
// does (Env::listDirectoryStartingWith, which finds the scratch files a
// killed writer left beside a target), and many file systems, Wine's among
// them, read the whole folder for it whatever the pattern. Outside an
// operation (Env::beginOperation) every search lists the folder again, and
// so sees what other programs did meanwhile. During one, the names of a
// folder that may be scratch names (those that begin with
// scratchNamesLead(), system.h) are kept as platform/kept_names.h tells, as
// one name in every letter case, and a search for a prefix that begins so
// is answered from them; every name this Env creates, moves or deletes
// changes what is kept as it changes the folder (the functions below).
// Folders are told apart by volume and file index. Safe on several
// threads.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace platform::win32 {

// Operations nest; what is kept is dropped when the outermost one ends.
void beginFolderOperation();
void endFolderOperation();

// The names in the folder at `path` that begin with the bytes of `prefix`;
// false (the last system error set) when the folder cannot be listed.
bool namesStartingWith(const std::string& path, const std::string& prefix, std::vector<std::string>* names);

// The calls that change names (DeleteFileA, MoveFileExA with `flags`,
// CreateDirectoryA), each telling what is kept of the folder once it
// succeeded. Failures leave GetLastError() as the call set it.
bool removeName(const std::string& path);
bool renameName(const std::string& from, const std::string& to, DWORD flags);
bool makeFolderNamed(const std::string& path, SECURITY_ATTRIBUTES* security = nullptr);
// A name now exists at `path` that may not have before (a file opened with
// creation, a copy, a unique file made).
void noteCreated(const std::string& path);

}  // namespace platform::win32
