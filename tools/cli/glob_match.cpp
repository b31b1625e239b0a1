#include "cli/glob_match.h"

namespace cli {
namespace {

constexpr char kAnyRun = '*';
constexpr char kAnyOne = '?';
constexpr char kSetOpen = '[';
constexpr char kSetClose = ']';
constexpr char kRange = '-';

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isNegation(char c) { return c == '!' || c == '^'; }

// Matches one character against the set starting at `pattern[at]` (just
// after "["). Returns the index after its "]", or npos when the set has
// no "]" (the "[" is then an ordinary character).
size_t matchSet(const std::string& pattern, size_t at, char c, bool* matched) {
  const bool negated = at < pattern.size() && isNegation(pattern[at]);
  if (negated) ++at;
  bool inSet = false;
  bool first = true;
  const unsigned char wanted = static_cast<unsigned char>(folded(c));
  while (at < pattern.size() && (first || pattern[at] != kSetClose)) {
    first = false;
    const unsigned char low = static_cast<unsigned char>(folded(pattern[at++]));
    unsigned char high = low;
    if (at + 1 < pattern.size() && pattern[at] == kRange && pattern[at + 1] != kSetClose) {
      ++at;
      high = static_cast<unsigned char>(folded(pattern[at++]));
    }
    if (wanted >= low && wanted <= high) inSet = true;
  }
  if (at >= pattern.size()) return std::string::npos;
  *matched = inSet != negated;
  return at + 1;
}

// Matches one character at `pattern[*at]` (not "*") and moves past it.
bool matchOne(const std::string& pattern, size_t* at, char c) {
  const char p = pattern[*at];
  if (p == kAnyOne) {
    ++*at;
    return true;
  }
  if (p == kSetOpen) {
    bool matched = false;
    const size_t next = matchSet(pattern, *at + 1, c, &matched);
    if (next != std::string::npos) {
      *at = next;
      return matched;
    }
  }
  return folded(pattern[(*at)++]) == folded(c);
}

}  // namespace

// Walks both texts once; on a mismatch after a "*" the star takes one
// more character and the rest is tried again from there.
bool globMatches(const std::string& pattern, const std::string& text) {
  size_t p = 0;
  size_t t = 0;
  size_t starPattern = std::string::npos;
  size_t starText = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == kAnyRun) {
      starPattern = ++p;
      starText = t;
      continue;
    }
    size_t next = p;
    if (p < pattern.size() && matchOne(pattern, &next, text[t])) {
      p = next;
      ++t;
      continue;
    }
    if (starPattern == std::string::npos) return false;
    p = starPattern;
    t = ++starText;
  }
  while (p < pattern.size() && pattern[p] == kAnyRun) ++p;
  return p == pattern.size();
}

}  // namespace cli
