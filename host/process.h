// Starting other programs, finding running ones, and the program's own
// file.
#pragma once

#include <string>
#include <vector>

namespace host {

// Starts `program` with `arguments` (its argv[0] is `program` itself) in
// `workingFolder` (empty: the caller's current folder) and returns without
// waiting for it. A program named without a folder is looked up in $PATH
// (on Windows also with ".exe" added).
// The started program is not the caller's child: it never has to be waited
// for, and the caller's signal handling is left alone. False, with the
// reason in lastSystemError(), when the program or the folder cannot be
// used.
bool startProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& workingFolder);

// True when a running process's program file name equals `programFileName`
// (only its last component counts) ignoring ASCII case: either the name of
// the file the process runs, or the last component of its argv[0], which
// may be a Windows path ("C:\Games\QELT\Game.exe" under Wine).
bool isProgramRunning(const std::string& programFileName);

// What tells that the game client runs.
struct ClientIdentity {
  std::string windowClass;      // the class of its main window
  std::string programFileName;  // its program file, compared as isProgramRunning does
};

// True when the game client runs. On Windows: a top-level window of its
// class exists (FindWindowA), or a process runs its program file. On POSIX
// systems the client runs under Wine, whose windows are out of reach: a
// process runs its program file.
bool isClientRunning(const ClientIdentity& client);

// Full path of the running program's file; empty on failure.
std::string executablePath();

}  // namespace host
