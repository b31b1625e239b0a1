// What an Env keeps of folders' names for the length of an operation
// (Env::beginOperation), the same on every system. A folder is listed at
// the first lookup that needs it, and what is kept changes as the Env
// itself creates, moves and deletes names, so that a further lookup costs a
// search in memory instead of a listing: creating many files in one folder
// then grows linearly, not with the square of their number. Names other
// programs add or remove while the operation runs may go unseen until it
// ends. Folders are told apart by their identity, so two spellings of one
// folder share what is kept. Safe on several threads. Internal to
// platform/.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Compares at most `limit` bytes ignoring ASCII letter case, as strncasecmp
// does in the C locale: negative, zero or positive.
int compareFolded(const std::string& a, const std::string& b, size_t limit = std::string::npos);

// A name to look for, compared ignoring case only.
struct Folded {
  const std::string& name;
};

// Names in case-insensitive order, by their bytes among names equal so:
// the names that match one ignoring case, or begin with a prefix, stand
// together, the first in byte order first.
struct CaseOrder {
  using is_transparent = void;
  bool operator()(const std::string& a, const std::string& b) const {
    const int folded = compareFolded(a, b);
    return folded != 0 ? folded < 0 : a < b;
  }
  bool operator()(const std::string& a, const Folded& b) const { return compareFolded(a, b.name) < 0; }
  bool operator()(const Folded& a, const std::string& b) const { return compareFolded(a.name, b) < 0; }
};
using Names = std::set<std::string, CaseOrder>;

// The first of `names` equal to `name` ignoring ASCII letter case, in byte
// order; empty when none is.
std::string firstIgnoringCase(const Names& names, const std::string& name);
// Appends the names of `names` that begin with the bytes of `prefix`.
void appendStartingWith(const Names& names, const std::string& prefix, std::vector<std::string>* found);

// A folder's identity: its device or volume, and its number there.
using FolderKey = std::pair<uint64_t, uint64_t>;
// Calls `visit` with every name of a folder, "." and ".." left out; false,
// with the system's error left as the listing set it, when the folder
// cannot be listed.
using ListNames = std::function<bool(const std::function<void(const char*)>& visit)>;

class KeptNames {
 public:
  // Of each folder the names that begin with the bytes of `lead` are kept
  // (every name when it is empty). With `caseBlind`, names equal ignoring
  // case are one name, as on a file system that ignores letter case:
  // removing one removes it in every spelling, and adding one keeps the
  // spelling already kept.
  KeptNames(std::string lead, bool caseBlind) : lead_(std::move(lead)), caseBlind_(caseBlind) {}

  bool active() const { return operations_.load(std::memory_order_acquire) > 0; }
  // True when `name` is one that is kept; for a prefix, when every name
  // that begins with it is.
  bool keeps(const std::string& name) const { return name.compare(0, lead_.size(), lead_) == 0; }

  // Operations nest; what is kept is dropped when the outermost one ends.
  void begin();
  void end();

  // Calls `use` with what is kept of the folder `key`, listing it with
  // `list` first when it is not known yet; false when it cannot be listed.
  bool withNames(const FolderKey& key, const ListNames& list, const std::function<void(const Names&)>& use);
  // The name now exists in the folder `key`, or no longer does.
  void change(const FolderKey& key, const std::string& name, bool exists);
  // Drops what is kept of every folder, to be listed afresh at its next
  // lookup: for a change that could not be recorded (no memory was left).
  void forget();

 private:
  const std::string lead_;
  const bool caseBlind_;
  std::atomic<int> operations_{0};
  std::mutex mutex_;
  std::map<FolderKey, Names> folders_;
};

}  // namespace platform
