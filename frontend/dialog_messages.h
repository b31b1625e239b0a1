// What passes between the dialog and the rest of the program: the player's
// commands (buttons and keys) and the worker's messages, each of which the
// worker sends synchronously and the dialog answers.
#pragma once

#include <string>

namespace qelt {

enum class DialogCommand {
  Start,   // "开始升级"
  Cancel,  // the button "取消", "确定" after success; also the Escape key
  Browse,  // "浏览"
  Close,   // the window's close command: never starts the game
};

enum class WorkerMessageKind {
  Status,       // text: the status line
  Caption,      // text: the window caption
  Notes,        // text: the release notes
  Installation,  // text: the installed version, folder: the installation found
  EnableStart,  // the package is open: the player may start
  Failed,       // the attempt failed (private message 2025)
  Progress,     // percent: 0 to 100 (private message 2026)
  Done,         // the update finished (private message 2027); text: the new version, folder: the installation
  PickFolder,   // text: the picker's title; the answer is a folder
  AskRetry,     // text: the question; the answer is Retry (true) or Cancel (false)
};

// Why an attempt failed.
enum class PatchFailure {
  None,
  DamagedPackage,        // the program's container or its package cannot be read
  InstallationNotFound,  // no installation with a readable version
  VersionOutOfRange,     // the installed version lies outside the package's range
  GameRunning,           // the game client was running and the player gave up
  ApplyFailed,           // the update started and stopped with an error
  Other,                 // the attempt could not be started
};

// The progress bar's range.
constexpr int kProgressEmpty = 0;
constexpr int kProgressFull = 100;

struct WorkerMessage {
  WorkerMessageKind kind;
  std::string text;
  int percent = 0;
  std::string folder;
  PatchFailure failure = PatchFailure::None;  // of a Failed message
};

struct WorkerReply {
  bool accepted = false;  // a folder was picked, or Retry was chosen
  std::string folder;
};

}  // namespace qelt
