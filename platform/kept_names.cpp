#include "platform/kept_names.h"

#include <algorithm>

namespace platform {
namespace {

char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithFolded(const std::string& name, const std::string& prefix) {
  return name.size() >= prefix.size() && compareFolded(name, prefix, prefix.size()) == 0;
}

}  // namespace

int compareFolded(const std::string& a, const std::string& b, size_t limit) {
  const size_t length = std::min({a.size(), b.size(), limit});
  for (size_t i = 0; i < length; ++i) {
    const unsigned char x = static_cast<unsigned char>(foldCase(a[i]));
    const unsigned char y = static_cast<unsigned char>(foldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  const size_t left = std::min(a.size(), limit);
  const size_t right = std::min(b.size(), limit);
  return left == right ? 0 : (left < right ? -1 : 1);
}

std::string firstIgnoringCase(const Names& names, const std::string& name) {
  auto first = names.lower_bound(Folded{name});
  return first != names.end() && compareFolded(*first, name) == 0 ? *first : std::string();
}

void appendStartingWith(const Names& names, const std::string& prefix, std::vector<std::string>* found) {
  for (auto at = names.lower_bound(Folded{prefix}); at != names.end() && startsWithFolded(*at, prefix); ++at) {
    if (at->compare(0, prefix.size(), prefix) == 0) found->push_back(*at);
  }
}

// A lookup racing with the end of the last operation may have kept a
// listing after it; the next first operation starts afresh.
void KeptNames::begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (operations_.fetch_add(1, std::memory_order_acq_rel) == 0) folders_.clear();
}

void KeptNames::end() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (operations_.fetch_sub(1, std::memory_order_acq_rel) == 1) folders_.clear();
}

bool KeptNames::withNames(const FolderKey& key, const ListNames& list, const std::function<void(const Names&)>& use) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto known = folders_.find(key);
  if (known == folders_.end()) {
    Names names;
    if (!list([&](const char* name) {
          if (keeps(name)) names.insert(name);
        })) {
      return false;
    }
    known = folders_.emplace(key, std::move(names)).first;
  }
  use(known->second);
  return true;
}

void KeptNames::forget() {
  std::lock_guard<std::mutex> lock(mutex_);
  folders_.clear();
}

void KeptNames::change(const FolderKey& key, const std::string& name, bool exists) {
  if (!keeps(name)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  auto known = folders_.find(key);
  if (known == folders_.end()) return;
  Names& names = known->second;
  if (!caseBlind_) {
    if (exists) {
      names.insert(name);
    } else {
      names.erase(name);
    }
    return;
  }
  const auto spellings = names.equal_range(Folded{name});
  if (!exists) {
    names.erase(spellings.first, spellings.second);
  } else if (spellings.first == spellings.second) {
    names.insert(name);
  }
}

}  // namespace platform
